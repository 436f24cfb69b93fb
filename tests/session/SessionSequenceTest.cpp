// The one sequence of every kind of run, with the stages and the face stood in: what the
// face asks, what the stages report, and what the run then is (verdict, exit code, plan,
// record). A row is a kind of run, attended or not, and the events its stages send.
#include <gtest/gtest.h>

#include "SessionFixture.h"
#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "session/InstallRecord.h"
#include "session/StageFacts.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"

using Session::Intent;
using Session::RunKind;
using Session::Verdict;
using SessionTest::RecordingFace;
using SessionTest::SessionFixture;
using SessionTest::StandInStages;

namespace {

StageEvent Event(int code, double progress = 0.0, std::wstring message = {})
{
    StageEvent event;
    event.code = code;
    event.progress = progress;
    event.message = std::move(message);
    return event;
}

StageEvent Refused(int code, double progress, StageCause cause = StageCause::SignatureRefused)
{
    StageEvent event = Event(code, progress, L"Signature");
    event.cause = cause;
    return event;
}

} // namespace

TEST(SessionSequence, EveryKindOfRunEndsWithTheOutcomeItsStagesGave)
{
    enum Layout { NoLayout, IntoFolder, IntoBlockedFolder };
    using namespace Download;
    const std::vector<StageEvent> installs
        = { Event(DL_CODE_START), Event(DL_CODE_SUCCESS), Event(IST_CODE_START), Event(IST_CODE_SUCCESS) };
    const struct {
        const char* name;
        bool removal;
        bool unattended;
        bool oldVersion;
        bool confirms;
        std::vector<StageEvent> events;
        Verdict verdict;
        int exitCode;
        bool started;
        bool recorded; // an installation recorded at the end
        Layout layout = NoLayout;
    } cases[] = {
        { "quiet install", false, true, false, true, installs, Verdict::Installed, 0, true, true },
        { "quiet install, restart", false, true, false, true,
            { Event(IST_CODE_START), Event(IST_CODE_RESTART_REQUIRED), Event(IST_CODE_SUCCESS) }, Verdict::Installed,
            3010, true, true },
        { "window install, restart: the window tells", false, false, false, true,
            { Event(IST_CODE_START), Event(IST_CODE_RESTART_REQUIRED), Event(IST_CODE_SUCCESS) }, Verdict::Installed, 0,
            true, true },
        { "quiet install, package refused by the pin", false, true, false, true, { Refused(DL_CODE_FAIL, 0.0) },
            Verdict::SignatureRefused, 8, true, false },
        { "quiet update, older package refused", false, true, true, true,
            { Refused(DL_CODE_FAIL, 0.0, StageCause::DowngradeRefused) }, Verdict::DowngradeRefused, 13, true, true },
        { "quiet install, package failed", false, true, false, true,
            { Event(IST_CODE_START), Event(IST_CODE_FAIL, 1.0, L"disk full") }, Verdict::PackageFailed, 9, true,
            false },
        { "quiet install, product kept running", false, true, false, true,
            { Event(IST_CODE_FAIL, kFailProductRunning) }, Verdict::ProductRunning, 5, true, false },
        { "quiet install, package out of time", false, true, false, true, { Event(IST_CODE_FAIL, kFailTimedOut) },
            Verdict::PackageTimedOut, 11, true, false },
        { "quiet update, old version not removed", false, true, true, true,
            { Event(DL_CODE_SUCCESS), Event(UNIST_CODE_ERROR, 3.0) }, Verdict::RemovalFailed, 6, true, true },
        { "quiet removal of nothing", true, true, false, true, {}, Verdict::NothingInstalled, 12, false, false },
        { "quiet removal", true, true, true, true, { Event(UNIST_CODE_PROGRESS, 0.5), Event(UNIST_CODE_REMOVED) },
            Verdict::Removed, 0, true, false },
        { "quiet removal, uninstaller refused by the pin", true, true, true, true,
            { Refused(UNIST_CODE_FAIL, kFailSignatureRefused) }, Verdict::SignatureRefused, 8, true, true },
        { "window removal answered no", true, false, true, false, {}, Verdict::Cancelled, 1602, false, true },
        { "window removal, uninstaller failed", true, false, true, true, { Event(UNIST_CODE_ERROR, 1.0) },
            Verdict::RemovalFailed, 6, true, true },
        { "layout", false, true, false, true,
            { Event(DL_CODE_START), Event(DL_CODE_SUCCESS), Event(LAYOUT_CODE_WRITTEN) }, Verdict::LayoutWritten, 0,
            true, false, IntoFolder },
        { "layout beside an installation: held to its version, which stays", false, true, true, true,
            { Event(DL_CODE_SUCCESS), Event(LAYOUT_CODE_WRITTEN) }, Verdict::LayoutWritten, 0, true, true, IntoFolder },
        { "layout not written", false, true, false, true, { Event(DL_CODE_SUCCESS), Event(LAYOUT_CODE_FAIL) },
            Verdict::InvalidValue, 2, true, false, IntoFolder },
        { "layout into a folder that cannot be made", false, true, false, true, {}, Verdict::InvalidValue, 2, false,
            false, IntoBlockedFolder },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        ASSERT_TRUE(Utils::EnsureDirectoryPath(fixture.InstallFolder())); // the stages would make it
        const std::wstring oldFolder = c.oldVersion ? fixture.MakeOldVersion("") : L"";
        if (c.oldVersion) {
            Utils::WriteRegistryString(Utils::RecordRoot::User, L"InstallVersion", L"2.0.0");
        }
        Config::RunSettings settings = fixture.Settings();
        settings.uninstall = c.removal;
        settings.unattended = c.unattended;
        settings.installDir = fixture.InstallFolder();
        settings.layout = c.layout != NoLayout;
        ASSERT_TRUE(TestSupport::WriteFileBytes(fixture.Trace(L"blocker"), "a file"));
        settings.layoutFolder = fixture.Trace(c.layout == IntoBlockedFolder ? L"blocker\\layout" : L"layout");
        StandInStages stages;
        stages.events = c.events;
        Session::SessionRun run(settings, stages.Maker());
        EXPECT_EQ(run.Kind() == RunKind::Layout, settings.layout);
        const Intent::Kind ask = settings.layout ? Intent::Kind::Layout
            : c.removal                          ? Intent::Kind::Remove
                                                 : Intent::Kind::Install;
        RecordingFace face({ ask, { fixture.InstallFolder(), true, true, L"" } }, c.confirms);
        const int exitCode = run.Run(face);

        EXPECT_EQ(exitCode, c.exitCode);
        ASSERT_TRUE(run.Install().LastOutcome());
        EXPECT_EQ(run.Install().LastOutcome()->verdict, c.verdict);
        EXPECT_EQ(stages.starts, c.started ? 1 : 0);
        EXPECT_EQ(face.started, c.started);
        if (c.started) {
            ASSERT_EQ(stages.plans.size(), 1u);
            const Pipeline::InstallPlan& plan = stages.plans.front();
            EXPECT_EQ(plan.removalOnly, c.removal);
            EXPECT_EQ(plan.folder, c.removal ? oldFolder : settings.layout ? L"" : fixture.InstallFolder());
            EXPECT_EQ(plan.oldUninstaller.empty(), !c.oldVersion || settings.layout)
                << "the old version goes first when there is one, but for a layout";
            EXPECT_EQ(plan.versionFloor, c.oldVersion && !c.removal ? L"2.0.0" : L"") << "the recorded version";
            EXPECT_EQ(plan.layoutFolder, settings.layout ? settings.layoutFolder : L"");
            EXPECT_EQ(plan.downloadUrl, c.removal ? L"" : settings.downloadUrl);
        }
        const ExistingInstallation record = ReadExistingInstallation();
        EXPECT_EQ(record.present, c.recorded);
    }
}

// Before any face is shown, a run nobody watches refuses what it cannot use; the stages
// never hear of it.
TEST(SessionSequence, AnUnattendedRunWithAnUnusableValueEndsBeforeItsFace)
{
    SessionFixture fixture;
    Config::RunSettings settings = fixture.Settings();
    settings.unattended = true;
    settings.unknownOptions = { L"/S" };
    StandInStages stages;
    Session::SessionRun run(settings, stages.Maker());
    RecordingFace face;
    EXPECT_EQ(run.Run(face), 2);
    EXPECT_FALSE(face.started || face.refusal || face.verdict) << "the face was never shown";
    EXPECT_TRUE(stages.plans.empty());
}

// Each stage event means one thing; the progress field carries only what the event's code
// says it carries.
TEST(SessionSequence, EachStageEventIsReadOnce)
{
    using Kind = Session::StageFact::Kind;
    using namespace Download;
    StageEvent signature = Refused(DL_CODE_FAIL, 0.0);
    StageEvent uninstallerSignature = Refused(UNIST_CODE_FAIL, kFailSignatureRefused);
    StageEvent exitStatus = Event(IST_CODE_EXIT_STATUS);
    exitStatus.exitStatus = 3010;
    const struct {
        const char* name;
        StageEvent event;
        bool removalOnly;
        Kind kind;
        Verdict verdict;
    } cases[] = {
        { "download failed", Event(DL_CODE_FAIL, 28.0, L"LibCurl"), false, Kind::Verdict, Verdict::DownloadFailed },
        { "package's signature", signature, false, Kind::Verdict, Verdict::SignatureRefused },
        { "older package", Refused(DL_CODE_FAIL, 0.0, StageCause::DowngradeRefused), false, Kind::Verdict,
            Verdict::DowngradeRefused },
        { "old uninstaller's signature in an update", uninstallerSignature, false, Kind::Verdict,
            Verdict::RemovalFailed },
        { "uninstaller's signature in a removal", uninstallerSignature, true, Kind::Verdict,
            Verdict::SignatureRefused },
        { "uninstaller waited for the product", Event(UNIST_CODE_FAIL, kFailProductRunning), false, Kind::Verdict,
            Verdict::ProductRunning },
        { "uninstaller error", Event(UNIST_CODE_ERROR, kFailProductRunning), false, Kind::Verdict,
            Verdict::RemovalFailed },
        { "package failed", Event(IST_CODE_FAIL, 1.0), false, Kind::Verdict, Verdict::PackageFailed },
        { "package timed out", Event(IST_CODE_FAIL, kFailTimedOut), false, Kind::Verdict, Verdict::PackageTimedOut },
        { "exit status", exitStatus, false, Kind::PackageExitStatus, Verdict::Installed },
        { "exit status without a value", Event(IST_CODE_EXIT_STATUS, 3010.0), false, Kind::None, Verdict::Installed },
        { "empty install folder", Event(IST_CODE_INST_PATH, 0.0, L""), false, Kind::None, Verdict::Installed },
        { "the uninstaller's name", Event(IST_CODE_UNINST_EXE, 0.0, L"x.exe"), false, Kind::None, Verdict::Installed },
        { "a downloader's message", Event(DL_CODE_MESSAGE, 0.0, L"curl获取url-md5失败"), false, Kind::None,
            Verdict::Installed },
        { "layout written", Event(LAYOUT_CODE_WRITTEN, 1.0, L"D:\\l\\0a\\p.exe"), false, Kind::Verdict,
            Verdict::LayoutWritten },
        { "layout not written", Event(LAYOUT_CODE_FAIL, 0.0, L"D:\\l"), false, Kind::Verdict, Verdict::InvalidValue },
        { "unknown code", Event(4242, 1.0), false, Kind::None, Verdict::Installed },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Session::StageFact fact = Session::DecodeStageEvent(c.event, c.removalOnly);
        EXPECT_EQ(fact.kind, c.kind);
        if (c.kind == Kind::Verdict) {
            EXPECT_EQ(fact.verdict, c.verdict);
        }
    }
    EXPECT_EQ(Session::DecodeStageEvent(exitStatus, false).exitStatus, 3010u);

    using Startup = Session::StageFact::Startup;
    for (const auto& [value, startup] : std::initializer_list<std::pair<double, Startup>> { { 0.0, Startup::Never },
             { 1.0, Startup::AtOnce }, { 2.0, Startup::FromFinishButton }, { 2.9, Startup::FromFinishButton },
             { 3.0, Startup::Never }, { 1e300, Startup::Never } }) {
        EXPECT_EQ(Session::DecodeStageEvent(Event(IST_CODE_STARTUP_STYLE, value), false).startup, startup) << value;
    }
}

// The exit code comes from the outcome alone, by the run's kind.
TEST(SessionSequence, OneExitCodePerOutcomeAndKind)
{
    const Session::Outcome restart { Verdict::Installed, L"", false, true };
    EXPECT_EQ(Session::RunExitCode(RunKind::QuietInstall, restart), 3010);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowInstall, restart), 0);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowInstall, Session::Outcome { Verdict::DownloadFailed }), 0);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowInstall, Session::Outcome { Verdict::AnotherCopyRunning }), -1);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowInstall, Session::Outcome { Verdict::InternalFailure }), 1);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowRemoval, Session::Outcome { Verdict::Cancelled }), 1602);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowRemoval, Session::Outcome { Verdict::StoppedBySystem }), 10);
    EXPECT_EQ(Session::RunExitCode(RunKind::QuietInstall, std::nullopt), 1) << "no verdict: the installer failed";
    EXPECT_EQ(Session::RunExitCode(RunKind::Layout, std::nullopt), 1);
    EXPECT_EQ(Session::RunExitCode(RunKind::Layout, Session::Outcome { Verdict::DownloadFailed }), 7);
    EXPECT_EQ(Session::RunExitCode(RunKind::WindowInstall, std::nullopt), 0);
}

// Asking again while an attempt runs (a double click, a retry racing the verdict) leaves the
// running attempt's plan alone and starts nothing.
TEST(SessionSequence, AnotherAskWhileAnAttemptRunsChangesNothing)
{
    SessionFixture fixture;
    ASSERT_TRUE(Utils::EnsureDirectoryPath(fixture.InstallFolder()));
    Config::RunSettings settings = fixture.Settings();
    settings.unattended = true;
    StandInStages stages; // no events: the attempt runs until the test ends it
    Session::SessionRun run(settings, stages.Maker());
    RecordingFace face({ Intent::Kind::Install, { fixture.InstallFolder(), true, true, L"" } });
    int step = 0;
    face.between = [&] {
        if (!face.started) {
            return;
        }
        if (step++ == 0) {
            run.Post({ Intent::Kind::Install, { fixture.Trace(L"elsewhere"), true, true, L"" } });
            run.Post({ Intent::Kind::Apply });
        } else if (step == 3) {
            stages.sink(Event(IST_CODE_SUCCESS));
        }
    };
    EXPECT_EQ(run.Run(face), 0);
    EXPECT_EQ(stages.plans.size(), 1u);
    EXPECT_EQ(stages.starts, 1);
    EXPECT_FALSE(face.refusal);
    EXPECT_EQ(run.Install().Folder(), fixture.InstallFolder());
}
