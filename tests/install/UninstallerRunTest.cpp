#include <gtest/gtest.h>

#include "StageHarness.h"
#include "install/AdminProbes.h"
#include "install/Installer.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "support/LogCapture.h"
#include "support/ProcessRunner.h"
#include "utils/Processes.h"
#include "utils/Text.h"

using InstallTest::EventLog;
using InstallTest::ScriptedChild;

namespace {

constexpr DWORD kRunLimitMs = 15000;
const std::wstring kInstalledDir = L"C:\\Program Files\\Old Vellumora";

std::vector<StageEvent> RunUninstaller(const std::string& script, int* codePage = nullptr)
{
    EventLog log;
    ScriptedChild child(L"TarvikQuill_un_asa.exe");
    child.SetScript(script);
    CUninstaller uninstaller(log.Callback(), child.Path(), kInstalledDir);
    uninstaller.Start();
    EXPECT_TRUE(uninstaller.WaitForRun(kRunLimitMs)) << "the uninstaller run did not end";
    if (codePage) {
        *codePage = uninstaller.CodePage();
    }
    return log.Events();
}

} // namespace

TEST(UninstallerRun, KnowsItsFourKeysOnly)
{
    const std::string a772(772, 'a');
    const auto events = RunUninstaller(R"(out Progress=0.4
out Progress=x
out InstPath=C:\Ignored
out Message=ignored
out ExePath=C:\Ignored.exe
out Error=locked file\r
out Error=)"
        + a772 + R"(
out State=Other
out State=Success\r
out Progress=0.9
)");
    const std::vector<StageEvent> expected {
        { UNIST_CODE_PROGRESS, 0.0, L"" },
        { UNIST_CODE_PROGRESS, 0.4, L"" },
        { UNIST_CODE_PROGRESS, 0.0, L"" },
        { UNIST_CODE_ERROR, 0.0, L"locked file\r" },
        { UNIST_CODE_ERROR, 0.0, L"" },
        { UNIST_CODE_SUCCESS, 0.0, L"" },
        { UNIST_CODE_PROGRESS, 0.9, L"" },
    };
    EXPECT_EQ(events, expected);
}

TEST(UninstallerRun, VerdictsAndTheEndWithoutOne)
{
    EXPECT_EQ(RunUninstaller(""),
        (std::vector<StageEvent> { { UNIST_CODE_PROGRESS, 0.0, L"" }, { UNIST_CODE_SUCCESS, 1.0, L"" } }));

    // Fail, then Success in a later chunk: both, and no success with 1.0 at the end.
    EXPECT_EQ(RunUninstaller("out State=Fail\nflush\nsleep 200\nout State=Success\n"),
        (std::vector<StageEvent> { { UNIST_CODE_PROGRESS, 0.0, L"" }, { UNIST_CODE_ERROR, 0.0, L"安装包卸载失败" },
            { UNIST_CODE_SUCCESS, 0.0, L"" } }));

    // A verdict written just before the child ends is still read: a failure never turns
    // into a success because the child was quick.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(RunUninstaller("out State=Fail\nexit 0\n"),
            (std::vector<StageEvent> {
                { UNIST_CODE_PROGRESS, 0.0, L"" }, { UNIST_CODE_ERROR, 0.0, L"安装包卸载失败" } }));
    }
}

TEST(UninstallerRun, MissingOrUnstartableProgramsFail)
{
    for (const std::wstring& path : { std::wstring(), std::wstring(L"C:\\does not exist\\un.exe") }) {
        EventLog log;
        CUninstaller uninstaller(log.Callback(), path, kInstalledDir);
        uninstaller.Start();
        ASSERT_TRUE(uninstaller.WaitForRun(kRunLimitMs));
        EXPECT_EQ(log.Events(), (std::vector<StageEvent> { { UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在" } }));
    }

    TestSupport::TempDir folder(L"vlm bad");
    const std::wstring notAProgram = folder / L"TarvikQuill_un_asa.exe";
    ASSERT_TRUE(TestSupport::WriteFileBytes(notAProgram, "this is not a program"));
    EventLog log;
    CUninstaller uninstaller(log.Callback(), notAProgram, kInstalledDir);
    uninstaller.Start();
    ASSERT_TRUE(uninstaller.WaitForRun(kRunLimitMs));
    EXPECT_EQ(
        log.Events(), (std::vector<StageEvent> { { UNIST_CODE_PROGRESS, 0.0, L"" }, { UNIST_CODE_FAIL, 2.0, L"" } }));
}

TEST(UninstallerRun, EncodeNamesTheCodePageAsForThePackage)
{
    int codePage = -1;
    auto events = RunUninstaller("out Encode=UTF8\nout Error=中文\n", &codePage);
    EXPECT_EQ(events.back(), (StageEvent { UNIST_CODE_ERROR, 0.0, L"中文" }));
    EXPECT_EQ(codePage, CP_UTF8);

    // A code page's number means that code page, as it does for the package.
    events = RunUninstaller("out Encode=UTF8\nout Encode=936\ncp 936 Error=安装\n", &codePage);
    EXPECT_EQ(codePage, 936);
    EXPECT_EQ(events.back().message, L"安装");
}

TEST(UninstallerRun, FloodedPipesDoNotBlockTheRun)
{
    EXPECT_EQ(
        RunUninstaller("stderr 1048576\nout State=Success\n").back(), (StageEvent { UNIST_CODE_SUCCESS, 0.0, L"" }));
    const auto events = RunUninstaller("out State=Success\nspam 1048576\n");
    EXPECT_EQ(
        events, (std::vector<StageEvent> { { UNIST_CODE_PROGRESS, 0.0, L"" }, { UNIST_CODE_SUCCESS, 0.0, L"" } }));
}

TEST(UninstallerRun, ADestroyedStageEndsItsHangingChild)
{
    TestSupport::LogCapture capture;
    EventLog log;
    ScriptedChild child(L"vlm_hanging_uninstaller.exe");
    // Its output ends at once: the run is left waiting for the process itself.
    child.SetScript("out Progress=0.5\ncloseout\nsleep 600000\n");
    auto uninstaller = std::make_unique<CUninstaller>(log.Callback(), child.Path(), kInstalledDir);
    uninstaller->Start();
    ASSERT_TRUE(log.WaitForEvent({ UNIST_CODE_PROGRESS, 0.5, L"" }, kRunLimitMs));
    ASSERT_TRUE(capture.WaitFor(L"output of child", kRunLimitMs));
    const DWORD pid = Utils::FindProcessIdByName(L"vlm_hanging_uninstaller.exe");
    ASSERT_NE(pid, 0u);
    Utils::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(process);

    InstallTest::FinishWithin(
        10000, [&] { uninstaller.reset(); }, "destroying the uninstaller");
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0) << "the uninstaller still runs";
    EXPECT_TRUE(log.WithCode(UNIST_CODE_SUCCESS).empty());
}

TEST(UninstallerCommandLine, QuotedProgramAndUnquotedFolderLast)
{
    ScriptedChild child(L"TarvikQuill_un_asa.exe");
    ASSERT_NE(child.Path().find(L' '), std::wstring::npos) << "the test needs a folder with a space";
    child.SetScript("");
    EventLog log;
    CUninstaller uninstaller(log.Callback(), child.Path(), kInstalledDir);
    const std::wstring expected = L"\"" + child.Path() + L"\" /S -adminact="
        + (Utils::IsConsoleUserAdmin() ? L"true" : L"false") + L" -authorizationact="
        + (Utils::IsProcessAdmin() ? L"true" : L"false") + L" -console=show _?=C:\\Program Files\\Old Vellumora";
    EXPECT_EQ(uninstaller.BuildCommandLine(), expected);
    uninstaller.Start();
    ASSERT_TRUE(uninstaller.WaitForRun(kRunLimitMs));
    EXPECT_EQ(child.RecordedCommandLine(), expected);
    EXPECT_EQ(log.Events().back(), (StageEvent { UNIST_CODE_SUCCESS, 1.0, L"" }));
}

// Later tests run copies of the scripted child whose folder they do not choose (the
// uninstaller's temporary copy): the script then comes through the environment.
TEST(UninstallerRun, ScriptedChildFindsItsScriptThroughTheEnvironmentByItsName)
{
    TestSupport::TempDir folder(L"vlm env");
    const std::wstring program = folder / L"Renamed Copy.exe";
    ASSERT_TRUE(
        ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe").c_str(), program.c_str(), FALSE));
    const std::wstring byName = folder / L"by name.txt";
    const std::wstring generic = folder / L"generic.txt";
    ASSERT_TRUE(TestSupport::WriteFileBytes(byName, "out Error=by name\n"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(generic, "out Error=generic\n"));
    Utils::ScopeExit clear([] {
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_Renamed Copy", nullptr);
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT", nullptr);
    });
    ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT", generic.c_str());

    auto lastMessage = [&] {
        EventLog log;
        CUninstaller uninstaller(log.Callback(), program, kInstalledDir);
        uninstaller.Start();
        EXPECT_TRUE(uninstaller.WaitForRun(kRunLimitMs));
        return log.Events().back().message;
    };
    EXPECT_EQ(lastMessage(), L"generic");
    ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_Renamed Copy", byName.c_str());
    EXPECT_EQ(lastMessage(), L"by name");
}

// Without a verdict line the exit status decides, for both children alike (the package's
// 3010 is a success that needs a restart); standard input is at its end, so a child that
// reads it to the end finishes. The package's status is reported once it has ended.
TEST(ChildOutcome, WithoutAVerdictTheExitStatusDecides)
{
    struct Case {
        const char* script;
        StageEvent package;
        StageEvent removal;
        DWORD status;
        bool restart;
    };
    const Case cases[] = {
        { "exit 0\n", { IST_CODE_SUCCESS, 1.0, L"" }, { UNIST_CODE_SUCCESS, 1.0, L"" }, 0, false },
        { "readin\nout Progress=0.5\n", { IST_CODE_SUCCESS, 1.0, L"" }, { UNIST_CODE_SUCCESS, 1.0, L"" }, 0, false },
        { "exit 3\n", { IST_CODE_FAIL, kFailedExitStatus, L"安装包异常退出（退出码 3）" },
            { UNIST_CODE_ERROR, kFailedExitStatus, L"卸载程序异常退出（退出码 3）" }, 3, false },
        { "out Progress=0.2\nexit 0xC0000005\n",
            { IST_CODE_FAIL, kFailedExitStatus, L"安装包异常退出（退出码 0xC0000005）" },
            { UNIST_CODE_ERROR, kFailedExitStatus, L"卸载程序异常退出（退出码 0xC0000005）" }, 0xC0000005, false },
        { "exit 3010\n", { IST_CODE_SUCCESS, 1.0, L"" },
            { UNIST_CODE_ERROR, kFailedExitStatus, L"卸载程序异常退出（退出码 3010）" }, 3010, true },
        // A verdict still wins over the status.
        { "out State=Success\nexit 3\n", { IST_CODE_SUCCESS, 0.0, L"" }, { UNIST_CODE_SUCCESS, 0.0, L"" }, 3, false },
        { "out Restart=Required\nout State=Success\n", { IST_CODE_SUCCESS, 0.0, L"" }, { UNIST_CODE_SUCCESS, 0.0, L"" },
            0, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TestSupport::LogCapture capture;
        EventLog packageLog;
        ScriptedChild package;
        package.SetScript(c.script);
        CInstaller installer(packageLog.Callback(), package.Path(), L"");
        installer.Start();
        ASSERT_TRUE(installer.WaitForRun(kRunLimitMs)) << "the package run did not end";
        EXPECT_EQ(packageLog.WithCode(c.package.code), (std::vector<StageEvent> { c.package }));
        EXPECT_EQ(packageLog.WithCode(IST_CODE_EXIT_STATUS),
            (std::vector<StageEvent> { { IST_CODE_EXIT_STATUS, static_cast<double>(c.status), L"" } }));
        EXPECT_EQ(packageLog.WithCode(IST_CODE_RESTART_REQUIRED).size(), c.restart ? 1u : 0u);

        const auto removal = RunUninstaller(c.script);
        ASSERT_FALSE(removal.empty());
        EXPECT_EQ(removal.back(), c.removal);
        if (c.package.code == IST_CODE_FAIL) {
            EXPECT_FALSE(capture.Matching(L"ended without a verdict, status ").empty());
        }
    }
}
