// A run the installer ends (PackageTimeout, a stop: the end of the Windows session, the window
// closed) ends the child with every process it started, on real children under Wine. A
// verdict given in time stands for a package, not for an old uninstaller (the old version is
// left partly removed); after a package's verdict a stop leaves what it started (a product).
#include <gtest/gtest.h>

#include "StageHarness.h"
#include "install/Installer.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "support/LogCapture.h"
#include "support/ProcessRunner.h"
#include "support/WaitUntil.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

using InstallTest::EventLog;
using InstallTest::ScriptedChild;

namespace {

void EndLeftover(const wchar_t* exeName)
{
    if (const DWORD pid = Utils::FindProcessIdByName(exeName)) {
        Utils::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

} // namespace

TEST(ChildTree, AnEndedRunEndsEveryProcessOfTheChildUnlessItsVerdictCameFirst)
{
    constexpr ULONGLONG kLimitMs = 1000;
    constexpr bool kStop = true;
    constexpr bool kLeft = true;

    const struct {
        const char* name;
        bool uninstaller;
        bool stop; // else the time limit
        const char* script; // after spawning the grandchild and reporting progress 0.5
        StageEvent last;
        bool grandchildLeft = false;
    } cases[] = {
        { "package sleeps", false, !kStop, "sleep 60000\n", { IST_CODE_FAIL, kFailTimedOut, L"" } },
        { "package keeps writing", false, !kStop, "spam 4000000000\n", { IST_CODE_FAIL, kFailTimedOut, L"" } },
        { "package said success", false, !kStop, "out State=Success\nflush\nsleep 60000\n",
            { IST_CODE_SUCCESS, 0.0, L"" } },
        { "old uninstaller sleeps", true, !kStop, "sleep 60000\n", { UNIST_CODE_FAIL, kFailTimedOut, L"" } },
        { "old uninstaller said success", true, !kStop, "out State=Success\nflush\nsleep 60000\n",
            { UNIST_CODE_FAIL, kFailTimedOut, L"" } },
        { "package stopped", false, kStop, "sleep 60000\n", { IST_CODE_PROGRESS, 0.5, L"" } },
        { "old uninstaller stopped", true, kStop, "sleep 60000\n", { UNIST_CODE_PROGRESS, 0.5, L"" } },
        { "package stopped after its success", false, kStop, "out State=Success\nflush\nsleep 60000\n",
            { IST_CODE_SUCCESS, 0.0, L"" }, kLeft },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const wchar_t* exeName = c.uninstaller ? L"TarvikQuill_un_asa.exe" : L"__Package_Vellumora.exe";
        ScriptedChild child(exeName);
        const std::wstring grandchild = child.Folder() + L"\\vlm_tree_grandchild.exe";
        ASSERT_TRUE(
            ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), grandchild.c_str(), FALSE));
        Utils::ScopeExit endGrandchild([] { EndLeftover(L"vlm_tree_grandchild.exe"); });
        child.SetScript("spawn \"" + InstallTest::Utf8(grandchild) + "\" 60000\nout Progress=0.5\nflush\n" + c.script);

        TestSupport::LogCapture capture;
        EventLog log;
        const ULONGLONG start = ::GetTickCount64();
        CUninstaller uninstaller(log.Callback(), child.Path(), L"C:\\Old");
        CInstaller installer(log.Callback(), child.Path(), L"");
        const auto run = [&](auto& stage) {
            stage.SetTimeLimit(c.stop ? 0 : kLimitMs);
            stage.Start();
            if (c.stop) {
                ASSERT_TRUE(log.WaitForEvent(c.last, 15000));
                InstallTest::FinishWithin(
                    10000, [&] { stage.Stop(); }, "stopping the stage");
            }
            EXPECT_TRUE(stage.WaitForRun(15000));
        };
        if (c.uninstaller) {
            run(uninstaller);
        } else {
            run(installer);
        }
        EXPECT_LT(::GetTickCount64() - start, 10000u);
        ASSERT_FALSE(log.Events().empty());
        EXPECT_EQ(log.Events().back(), c.last);
        EXPECT_EQ(Utils::FindProcessIdByName(exeName), 0u) << "the child is left";
        EXPECT_EQ(Utils::FindProcessIdByName(L"vlm_tree_grandchild.exe") != 0, c.grandchildLeft);
        EXPECT_EQ(capture.Matching(L"ended 2 processes").size(), c.grandchildLeft ? 0u : 1u);
    }
}

// Until its verdict the package's job ends with the installer, even one that is killed; after
// it what the package started is the user's.
TEST(ChildTree, AnInstallerKilledBeforeTheVerdictTakesThePackageWithIt)
{
    const struct {
        const char* name;
        const char* script; // after spawning the grandchild
        const wchar_t* killedAfter; // what the installer has logged when it is killed
        bool left;
    } cases[] = {
        { "no verdict yet", "sleep 60000\n", L"started", false },
        { "after its success", "out State=Success\nflush\nsleep 60000\n", L"outlives the run", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChild child;
        const std::wstring grandchild = child.Folder() + L"\\vlm_tree_grandchild.exe";
        ASSERT_TRUE(
            ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), grandchild.c_str(), FALSE));
        Utils::ScopeExit endLeftovers([] {
            EndLeftover(L"vlm_tree_grandchild.exe");
            EndLeftover(L"__Package_Vellumora.exe");
        });
        child.SetScript("spawn \"" + InstallTest::Utf8(grandchild) + "\" 60000\n" + c.script);

        const wchar_t* eventName = L"vlm_tree_probe_reached";
        Utils::UniqueHandle reached(::CreateEventW(nullptr, TRUE, FALSE, eventName));
        std::wstring line = L"\"" + TestSupport::BinDirectory() + L"\\vlm_installer_probe.exe\" " + eventName + L" "
            + TestSupport::QuoteArgument(c.killedAfter) + L" " + TestSupport::QuoteArgument(child.Path());
        STARTUPINFOW startup { sizeof(startup) };
        PROCESS_INFORMATION info {};
        ASSERT_TRUE(
            ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
        Utils::UniqueHandle probe(info.hProcess);
        Utils::UniqueHandle probeThread(info.hThread);
        ASSERT_EQ(::WaitForSingleObject(reached.get(), 15000), WAIT_OBJECT_0);
        ASSERT_TRUE(
            TestSupport::WaitUntil([] { return Utils::FindProcessIdByName(L"vlm_tree_grandchild.exe") != 0; }, 10000));
        ::TerminateProcess(probe.get(), 9);
        ASSERT_EQ(::WaitForSingleObject(probe.get(), 5000), WAIT_OBJECT_0);

        const bool gone = TestSupport::WaitUntil(
            [] {
                return Utils::FindProcessIdByName(L"vlm_tree_grandchild.exe") == 0
                    && Utils::FindProcessIdByName(L"__Package_Vellumora.exe") == 0;
            },
            c.left ? 500 : 5000);
        EXPECT_EQ(gone, !c.left);
    }
}
