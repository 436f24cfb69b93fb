// The run's life with a stand-in face: what the session started is never cut short when
// the face goes, and nothing starts while the product runs.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "install/StageCodes.h"
#include "utils/FileSystem.h"

using Session::Verdict;
using SessionTest::RecordingFace;
using SessionTest::RunningProduct;
using SessionTest::SessionFixture;

// The face goes at the verdict (a finish button, the package's own close timer, a failed
// removal's prompt); the program or old uninstaller still working after its verdict line
// finishes its work, and the run ends only then.
TEST(SessionRun, AFaceGoingNeverEndsAChildThatStillWorks)
{
    const struct {
        const char* name;
        bool oldVersion;
        const char* verdictLine; // of the package, or of the old uninstaller
        Verdict verdict;
    } cases[] = {
        { "package works on after its success", false, "out State=Success\n", Verdict::Installed },
        { "package rolls back after its failure", false, "out State=Fail\n", Verdict::PackageFailed },
        { "old uninstaller works on after its failure", true, "out State=Fail\n", Verdict::RemovalFailed },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        const std::wstring done = fixture.Trace(L"work-done.txt");
        const std::string script
            = std::string(c.verdictLine) + "flush\nsleep 2000\nstamp " + SessionFixture::Utf8(done) + "\n";
        std::wstring folder = fixture.InstallFolder();
        if (c.oldVersion) {
            folder = fixture.MakeOldVersion(script);
        } else {
            fixture.SetPackageScript(script);
        }
        Session::SessionRun run(fixture.Settings());
        RecordingFace face(
            { Session::Intent::Kind::Install, { c.oldVersion ? fixture.InstallFolder() : folder, true, true, L"" } });
        bool workingAtTheVerdict = false;
        face.between = [&] {
            if (face.verdict && !workingAtTheVerdict) {
                workingAtTheVerdict = !Utils::PathExists(done);
            }
        };
        run.Run(face); // the face goes at the verdict; the run waits for the child
        ASSERT_TRUE(face.verdict.has_value());
        EXPECT_EQ(*face.verdict, c.verdict);
        EXPECT_TRUE(workingAtTheVerdict) << "the child is still at work when its verdict arrives";
        EXPECT_TRUE(Utils::PathExists(done)) << "the child was ended before it had done its work";
        EXPECT_TRUE(run.Install().ChildRunsEnded());
    }
}

// "-insnew" and every other run: neither the package nor the old uninstaller starts while
// the product of this session runs; an unattended run waits no longer than the package
// time limit, a window run until the product exits, the face told of the wait.
TEST(SessionRun, NothingStartsWhileTheProductRuns)
{
    const struct {
        const char* name;
        bool oldVersion;
        bool unattended;
        Verdict verdict;
    } cases[] = {
        { "unattended, package", false, true, Verdict::ProductRunning },
        { "unattended, old version", true, true, Verdict::ProductRunning },
        { "window, package", false, false, Verdict::Installed },
        { "window, old version", true, false, Verdict::Installed },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        const std::wstring started = fixture.Trace(L"started.txt");
        const std::string script = "stamp " + SessionFixture::Utf8(started) + "\nout State=Success\n";
        fixture.SetPackageScript(script);
        if (c.oldVersion) {
            fixture.MakeOldVersion(script);
        }
        RunningProduct product(fixture.Trace(L"product"));
        ASSERT_TRUE(product.Running());
        Config::RunSettings settings = fixture.Settings();
        settings.insNew = true;
        settings.unattended = c.unattended;
        settings.packageTimeLimitMs = c.unattended ? 1500 : 20000;
        Session::SessionRun run(settings);
        RecordingFace face({ Session::Intent::Kind::Install, { fixture.InstallFolder(), true, true, L"" } });
        ULONGLONG waitSeen = 0;
        face.between = [&] {
            if (c.unattended || face.waits.empty() || !product.Running()) {
                return;
            }
            waitSeen = waitSeen ? waitSeen : ::GetTickCount64();
            if (::GetTickCount64() - waitSeen < 2500) {
                EXPECT_FALSE(face.verdict) << "a window run waits for as long as the product runs";
                EXPECT_FALSE(Utils::PathExists(started));
            } else {
                product.End();
            }
        };
        run.Run(face);
        EXPECT_FALSE(face.refusal) << "-insnew lets it through";
        ASSERT_FALSE(face.waits.empty());
        EXPECT_EQ(face.waits.front(), true);
        ASSERT_TRUE(face.verdict.has_value());
        EXPECT_EQ(*face.verdict, c.verdict);
        EXPECT_EQ(Utils::PathExists(started), c.verdict == Verdict::Installed)
            << "a child started while the product ran";
    }
}
