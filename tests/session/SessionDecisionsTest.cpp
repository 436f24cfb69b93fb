// The decisions the session makes once for both faces: what an unattended run refuses,
// the first language, whether the existing installation is asked about, and what is
// started for the user when.
#include <gtest/gtest.h>

#include <utility>

#include "SessionFixture.h"
#include "config/Language.h"
#include "install/StageCodes.h"
#include "session/InstallRecord.h"
#include "support/ProcessRunner.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"

using Session::Verdict;
using SessionTest::RecordingFace;
using SessionTest::RunningProduct;
using SessionTest::SessionFixture;

TEST(SessionDecisions, AnUnattendedRunRefusesWhatItCannotUse)
{
    const struct {
        const char* name;
        void (*change)(Config::RunSettings&);
        std::optional<Verdict> refusal;
    } cases[] = {
        { "all usable", [](Config::RunSettings&) {}, std::nullopt },
        { "unknown option", [](Config::RunSettings& s) { s.unknownOptions = { L"-quite" }; }, Verdict::InvalidValue },
        // Which values are unusable is decided once, with the run's record (RunSettingsTest).
        { "unusable value",
            [](Config::RunSettings& s) {
                s.unusable = { { L"Launch", L"value refused" } };
            },
            Verdict::InvalidValue },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Config::RunSettings settings;
        settings.unattended = true;
        c.change(settings);
        Session::SessionRun run(settings);
        const auto refusal = run.Install().CheckUnattendedSettings();
        EXPECT_EQ(refusal ? std::optional<Verdict>(refusal->verdict) : std::nullopt, c.refusal);
    }
}

TEST(SessionDecisions, TheFirstLanguageAndTheExistingInstallation)
{
    const int german = 5;
    ASSERT_EQ(Utils::LocaleCodesWide()[german], L"de-DE");
    const struct {
        const char* name;
        int option;
        const char* recorded; // config.ini of an existing installation; nullptr: none
        int language;
    } cases[] = {
        { "the option", 3, nullptr, 3 },
        { "an option out of the table", 99, nullptr, 0 },
        { "the system's", -1, nullptr, Utils::UiLanguageTable(::GetUserDefaultUILanguage()) },
        { "the earlier installation's", 3, "[Install]\r\nLanguage=de-DE\r\n", german },
        { "an earlier installation that recorded none", 3, "[Install]\r\n", 3 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        if (c.recorded) {
            const std::wstring folder = fixture.MakeOldVersion("");
            ASSERT_TRUE(TestSupport::WriteFileBytes(folder + L"\\config.ini", c.recorded));
        }
        Config::RunSettings settings;
        settings.languageIndex = c.option;
        Session::SessionRun run(settings);
        EXPECT_EQ(run.Install().InitialLanguage(), c.language);
    }
}

TEST(SessionDecisions, InsNewLetsARunningProductThroughAndAsksNothing)
{
    SessionFixture fixture;
    fixture.MakeOldVersion("");
    RunningProduct product(fixture.Trace(L"product"));
    ASSERT_TRUE(product.Running());
    for (const bool insNew : { false, true }) {
        SCOPED_TRACE(insNew);
        Config::RunSettings settings;
        settings.insNew = insNew;
        Session::SessionRun run(settings);
        EXPECT_EQ(run.Install().AsksAboutExistingInstallation(), !insNew);
        EXPECT_EQ(run.Install().RefuseWhileProductRuns().has_value(), !insNew);
    }
}

// Every run, window or quiet, finds the account's installation first, then the machine's,
// offers its folder and records the update where it was found (never a second copy); a first
// installation goes to the run's own scope.
TEST(SessionDecisions, TheAccountsInstallationElseTheMachinesIsUpdatedWhereItIs)
{
    using Config::InstallScope;
    const struct {
        const char* name;
        const wchar_t* user; // the folder the account's record names; nullptr: no record
        const wchar_t* machine;
        InstallScope runScope;
        InstallScope recordedIn;
        const wchar_t* offered; // nullptr: no existing installation
    } cases[] = {
        { "none, a machine run", nullptr, nullptr, InstallScope::Machine, InstallScope::Machine, nullptr },
        { "the machine's, a user run", nullptr, L"m", InstallScope::User, InstallScope::Machine, L"m" },
        { "both, a machine run", L"u", L"m", InstallScope::Machine, InstallScope::User, L"u" },
        { "the account's folder is gone", L"gone", L"m", InstallScope::User, InstallScope::Machine, L"m" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        for (const auto& [folder, scope] :
            { std::pair { c.user, InstallScope::User }, std::pair { c.machine, InstallScope::Machine } }) {
            if (folder) {
                Utils::WriteRegistryString(RecordRootOf(scope), L"InstallPath", fixture.Trace(folder));
                if (std::wstring(folder) != L"gone") {
                    Utils::EnsureDirectoryPath(fixture.Trace(folder));
                    TestSupport::WriteFileBytes(fixture.Trace(folder) + L"\\uninst.ep", "x");
                }
            }
        }
        Config::RunSettings settings = fixture.Settings();
        settings.scope = c.runScope;
        Session::SessionRun run(settings);
        Session::InstallSession& session = run.Install();
        EXPECT_EQ(session.Existing().present, c.offered != nullptr);
        if (c.offered) {
            EXPECT_EQ(session.DefaultFolder(), fixture.Trace(c.offered)) << "the window offers its folder";
            EXPECT_EQ(session.OneClickFolder(), fixture.Trace(c.offered)) << "quiet mode installs over it";
        }
        session.OnStageReport({ IST_CODE_INST_PATH, 0.0, fixture.InstallFolder() });
        session.OnStageReport({ IST_CODE_SUCCESS, 1.0, L"" });
        for (const InstallScope scope : { InstallScope::User, InstallScope::Machine }) {
            const Utils::RecordedInstallation record = Utils::ReadRecordedInstallation(RecordRootOf(scope));
            const wchar_t* before = scope == InstallScope::User ? c.user : c.machine;
            EXPECT_EQ(record.installPath,
                scope == c.recordedIn ? fixture.InstallFolder()
                    : before          ? fixture.Trace(before)
                                      : L"");
        }
    }
}

// What the package reported and the settings decide whether the product is started, and
// when: an unattended run at its verdict when asked to, a window run at its verdict or from
// the finish button as the package's startup style says; never before a restart the package
// asked for (before its verdict: a later report changes nothing).
TEST(SessionDecisions, TheProductIsStartedWhenTheRunSaysSo)
{
    const struct {
        const char* name;
        bool unattended;
        bool launch;
        int startupStyle;
        bool restart;
        bool atVerdict;
        bool byFinishButton;
    } cases[] = {
        { "unattended, asked to", true, true, 0, false, true, false },
        { "unattended, not asked", true, false, 1, false, false, false },
        { "window, at once", false, false, 1, false, true, false },
        { "window, from the finish button", false, false, 2, false, false, true },
        { "window, never", false, true, 0, false, false, false },
        { "unattended, asked to, restart required", true, true, 0, true, false, false },
        { "window, at once, restart required", false, false, 1, true, false, false },
        { "window, from the finish button, restart required", false, false, 2, true, false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionFixture fixture;
        const std::wstring folder = fixture.InstallFolder();
        ASSERT_TRUE(Utils::EnsureDirectoryPath(folder));
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe").c_str(),
            (folder + L"\\Quorvel.exe").c_str(), FALSE));
        const std::wstring started = fixture.Trace(L"product-started.txt");
        ASSERT_TRUE(
            TestSupport::WriteFileBytes(folder + L"\\Quorvel.script", "stamp " + SessionFixture::Utf8(started)));

        Config::RunSettings settings;
        settings.unattended = c.unattended;
        settings.launch = c.launch;
        Session::SessionRun run(settings);
        Session::InstallSession& session = run.Install();
        session.OnStageReport({ IST_CODE_INST_PATH, 0.0, folder });
        session.OnStageReport({ IST_CODE_START_URL, 0.0, L"" }); // no page in a test
        session.OnStageReport({ IST_CODE_STARTUP_STYLE, static_cast<double>(c.startupStyle), L"" });
        if (c.restart) {
            session.OnStageReport({ IST_CODE_RESTART_REQUIRED, 0.0, L"" });
        }
        session.OnStageReport({ IST_CODE_SUCCESS, 1.0, L"" });
        session.OnStageReport({ IST_CODE_RESTART_REQUIRED, 0.0, L"" }); // after the verdict: too late
        ASSERT_TRUE(session.LastOutcome());
        EXPECT_EQ(session.LastOutcome()->restartRequired, c.restart);
        EXPECT_EQ(session.Reports().restartRequired, c.restart);
        const auto startedWithin = [&](DWORD ms) {
            return SessionFixture::PumpUntil(
                run, [&] { return Utils::PathExists(started); }, ms);
        };
        EXPECT_EQ(startedWithin(c.atVerdict ? 10000 : 1000), c.atVerdict);
        if (!c.atVerdict) {
            session.FinishButtonPressed();
            EXPECT_EQ(startedWithin(c.byFinishButton ? 10000 : 1000), c.byFinishButton);
        }
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    }
}
