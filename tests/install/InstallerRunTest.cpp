#include <gtest/gtest.h>

#include "StageHarness.h"
#include "config/InstallerConfig.h"
#include "install/Installer.h"
#include "install/StageCodes.h"
#include "support/LogCapture.h"
#include "support/ProcessRunner.h"
#include "utils/Processes.h"
#include "utils/Text.h"

using InstallTest::EventLog;
using InstallTest::ScriptedChild;

namespace {

constexpr DWORD kRunLimitMs = 15000;

// Pads the current chunk: "Pad=" and x's up to a line feed that ends at byte `end` of the
// output, given `used` bytes already written in this chunk.
std::string PadTo(std::size_t used, std::size_t end)
{
    return "raw Pad=\nfill " + std::to_string(end - used - 5) + "\nout\n";
}

// The run's events but the exit status (ChildOutcome covers it).
std::vector<StageEvent> RunPackage(const std::string& script, CInstaller::Version* version = nullptr)
{
    EventLog log;
    ScriptedChild child;
    child.SetScript(script);
    CInstaller installer(log.Callback(), child.Path(), L"");
    installer.Start();
    EXPECT_TRUE(installer.WaitForRun(kRunLimitMs)) << "the package run did not end";
    if (version) {
        *version = installer.InstalledVersion();
    }
    std::vector<StageEvent> events = log.Events();
    std::erase_if(events, [](const StageEvent& event) { return event.code == IST_CODE_EXIT_STATUS; });
    return events;
}

} // namespace

TEST(InstallerRun, EveryKeyRaisesItsEventInOrder)
{
    TestSupport::LogCapture capture;
    const std::string a771(771, 'a');
    CInstaller::Version version;
    const auto events = RunPackage(R"(out Progress=0.25
out Progress=abc
out InstPath=C:\Vellumora
out InstallVersion=3.14.15 \r
out InstallVersionX=9.9.9
out ExePath=
out ExePath=C:\V\Quorvel.exe\r
out StartExe=C:\V\Start.exe
out UninstExePath=C:\V\u1.exe
out UninstExe=C:\V\u2.exe
out UninstEp=C:\V\uninst.ep
out TopShowDetention=-1
out TopShowDetention=soon
out FinsihCloseDetention= 15
out StartUrl=http://example.invalid/start?a=b
out StartupStyle=AutoStartup\r
out StartupStyle=UserStartup
out StartupStyle= NonStartup
out StartupStyle=Sometimes
out Message=hello\r
out Message=)"
            + a771 + R"(
out Message=)"
            + a771 + R"(a
out Restart=Required\r
out Restart=Later
out State=Maybe
out Noise=1
out progress=0.9
out  Progress=0.9
out State=Success\r
)",
        &version);

    const std::vector<StageEvent> expected {
        { IST_CODE_START, 0.0, L"" },
        { IST_CODE_PROGRESS, 0.0, L"" },
        { IST_CODE_PROGRESS, 0.25, L"" },
        { IST_CODE_PROGRESS, 0.0, L"" },
        { IST_CODE_INST_PATH, 0.0, L"C:\\Vellumora" },
        { IST_CODE_INSTALL_VERSION, 0.0, L"3.14.15" },
        { IST_CODE_EXE_PATH, 0.0, L"" },
        { IST_CODE_EXE_PATH, 0.0, L"C:\\V\\Quorvel.exe\r" },
        { IST_CODE_EXE_PATH, 0.0, L"C:\\V\\Start.exe" },
        { IST_CODE_UNINST_EXE, 0.0, L"C:\\V\\u1.exe" },
        { IST_CODE_UNINST_EXE, 0.0, L"C:\\V\\u2.exe" },
        { IST_CODE_UNINST_EP, 0.0, L"C:\\V\\uninst.ep" },
        { IST_CODE_TOP_SHOW_DETENTION, 4294967295.0, L"" },
        { IST_CODE_TOP_SHOW_DETENTION, 0.0, L"" },
        { IST_CODE_FINISH_CLOSE_DETENTION, 15.0, L"" },
        { IST_CODE_START_URL, 0.0, L"http://example.invalid/start?a=b" },
        { IST_CODE_STARTUP_STYLE, 1.0, L"" },
        { IST_CODE_STARTUP_STYLE, 2.0, L"" },
        { IST_CODE_STARTUP_STYLE, 0.0, L"" },
        { IST_CODE_STARTUP_STYLE, 0.0, L"" },
        { IST_CODE_MESSAGE, 0.0, L"hello\r" },
        { IST_CODE_MESSAGE, 0.0, std::wstring(771, L'a') },
        { IST_CODE_MESSAGE, 0.0, L"" },
        { IST_CODE_RESTART_REQUIRED, 0.0, L"" },
        { IST_CODE_SUCCESS, 0.0, L"" },
    };
    EXPECT_EQ(events, expected);
    EXPECT_EQ(version.major, 3);
    EXPECT_EQ(version.minor, 14);
    EXPECT_EQ(version.patch, 15);
    const auto logged = capture.Matching(L"(CInstaller::Parse)");
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[1].find(L"ExePath: C:\\V\\Quorvel.exe"), std::wstring::npos);
}

TEST(InstallerRun, VerdictsEndTheReportsAndFailuresCarryTheirCodes)
{
    EXPECT_EQ(RunPackage("out State=Fail\n"),
        (std::vector<StageEvent> { { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" },
            { IST_CODE_FAIL, 0.0, L"安装包安装失败" } }));
    EXPECT_EQ(RunPackage("out Error=x\n").back(), (StageEvent { IST_CODE_FAIL, 1000.0, L"x" }));
    EXPECT_EQ(RunPackage("out Error=disk full\\r\n").back(), (StageEvent { IST_CODE_FAIL, 1000.0, L"disk full\r" }));

    // One chunk holding Fail then Success raises both and ends as a success: no 2003 (1.0).
    const auto both = RunPackage("out State=Fail\nout State=Success\n");
    ASSERT_EQ(both.size(), 4u);
    EXPECT_EQ(both[2], (StageEvent { IST_CODE_FAIL, 0.0, L"安装包安装失败" }));
    EXPECT_EQ(both[3], (StageEvent { IST_CODE_SUCCESS, 0.0, L"" }));

    // Lines of later chunks are read but no longer parsed.
    const auto later = RunPackage("out State=Success\n" + PadTo(14, 1024) + "out State=Fail\nout Message=late\n");
    EXPECT_EQ(later.back(), (StageEvent { IST_CODE_SUCCESS, 0.0, L"" }));
    EXPECT_EQ(later.size(), 3u);
}

TEST(InstallerRun, EndWithoutVerdictIsASuccessAndTheLastLinesAreRead)
{
    EXPECT_EQ(RunPackage(""),
        (std::vector<StageEvent> {
            { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" }, { IST_CODE_SUCCESS, 1.0, L"" } }));
    // Written just before the end, the last without a line feed.
    EXPECT_EQ(RunPackage("out Progress=0.5\nraw Progress=0.75\nexit 0\n"),
        (std::vector<StageEvent> { { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" },
            { IST_CODE_PROGRESS, 0.5, L"" }, { IST_CODE_PROGRESS, 0.75, L"" }, { IST_CODE_SUCCESS, 1.0, L"" } }));
    // A last line without a line feed can carry the verdict.
    EXPECT_EQ(RunPackage("raw State=Fail").back(), (StageEvent { IST_CODE_FAIL, 0.0, L"安装包安装失败" }));
}

TEST(InstallerRun, PackagesThatCannotRunFailWithTheirCodes)
{
    {
        EventLog log;
        CInstaller installer(log.Callback(), L"", L"C:\\Dir");
        installer.Start();
        ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
        EXPECT_EQ(
            log.Events(), (std::vector<StageEvent> { { IST_CODE_START, 0.0, L"" }, { IST_CODE_FAIL, 1.0, L"" } }));
    }
    {
        EventLog log;
        TestSupport::TempDir folder(L"vlm missing");
        CInstaller installer(log.Callback(), folder / L"nothing here.exe", L"");
        installer.Start();
        ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
        EXPECT_EQ(log.Events(),
            (std::vector<StageEvent> {
                { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" }, { IST_CODE_FAIL, 2.0, L"" } }));
    }
}

TEST(InstallerRun, LinesCutByTheChunkBoundaryArriveWhole)
{
    // One write, so reads of 1024 bytes cut it at byte 1024: inside "Message=", inside the
    // UTF-8 bytes of a Chinese character, and inside the verdict line.
    std::string out = "Encode=UTF8\n";
    auto pad = [&](std::size_t end) {
        const std::size_t count = end - out.size() - 5;
        out += "Pad=" + std::string(count, 'x') + "\n";
    };
    pad(1020);
    out += "Message=boundary\n"; // cut after "Mess"
    pad(2048 - 9);
    out += "Message=\xE5\xAE\x89\xE8\xA3\x85\n"; // 安 at 2047..2049, cut after its first byte
    pad(3072 - 8);
    out += "State=Fail\n"; // cut after "State=Fa"
    ASSERT_EQ(out.substr(1020, 4), "Mess");
    ASSERT_EQ(out.substr(2047, 1), "\xE5");
    ASSERT_EQ(out.substr(3064, 8), "State=Fa");

    std::string escaped;
    for (const unsigned char c : out) {
        if (c == '\n') {
            escaped += "\\n";
        } else if (c >= 0x80) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", c);
            escaped += hex;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    const auto events = RunPackage("raw " + escaped + "\nflush\n");
    const std::vector<StageEvent> expected {
        { IST_CODE_START, 0.0, L"" },
        { IST_CODE_PROGRESS, 0.0, L"" },
        { IST_CODE_MESSAGE, 0.0, L"boundary" },
        { IST_CODE_MESSAGE, 0.0, L"安装" },
        { IST_CODE_FAIL, 0.0, L"安装包安装失败" },
    };
    EXPECT_EQ(events, expected);
}

TEST(InstallerRun, CodePagesFollowEncodeLinesFromTheNextLine)
{
    EventLog log;
    ScriptedChild child;
    child.SetScript(R"(out Message=caf\xE9
out Encode=936
cp 936 Message=安装程序
out Encode=UTF8
out Message=中文
out Encode=bogus
out Encode=70000
out Encode=-5
out Message=仍然
out Encode=ACP
out Message=caf\xE9
out Encode=936
)");
    CInstaller installer(log.Callback(), child.Path(), L"");
    installer.Start();
    ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
    const std::wstring ansiCafe = Utils::MultiByteToWide("caf\xE9", CP_ACP);
    const auto messages = log.WithCode(IST_CODE_MESSAGE);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].message, ansiCafe);
    EXPECT_EQ(messages[1].message, L"安装程序");
    EXPECT_EQ(messages[2].message, L"中文");
    EXPECT_EQ(messages[3].message, L"仍然") << "unknown Encode= values keep UTF-8";
    EXPECT_EQ(messages[4].message, ansiCafe);
    EXPECT_EQ(installer.CodePage(), 936);

    // The code page stays with the runner: the next run starts in 936.
    child.SetScript("cp 936 Message=第二次\n");
    installer.Start();
    ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
    EXPECT_EQ(log.WithCode(IST_CODE_MESSAGE).back().message, L"第二次");
}

TEST(InstallerRun, ChildrenThatFloodTheirPipesDoNotBlockTheRun)
{
    // Standard error is never a protocol stream, but it is drained.
    auto events = RunPackage("stderr 1048576\nout State=Success\n");
    EXPECT_EQ(events.back(), (StageEvent { IST_CODE_SUCCESS, 0.0, L"" }));

    // Output after the verdict is read and ignored until the package ends.
    events = RunPackage("out Progress=0.5\nout State=Success\nflush\nspam 1048576\nout State=Fail\n");
    EXPECT_EQ(events,
        (std::vector<StageEvent> { { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" },
            { IST_CODE_PROGRESS, 0.5, L"" }, { IST_CODE_SUCCESS, 0.0, L"" } }));
}

TEST(InstallerRun, APackageAliveAfterItsVerdictGetsOneSuccessAtTheVerdict)
{
    EventLog log;
    ScriptedChild child;
    child.SetScript("out State=Success\nflush\nsleep 3000\nout Progress=0.9\n");
    CInstaller installer(log.Callback(), child.Path(), L"");
    installer.Start();
    ASSERT_TRUE(log.WaitForCode(IST_CODE_SUCCESS, kRunLimitMs));
    EXPECT_FALSE(installer.WaitForRun(0)) << "the run waits for the package to end";
    ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
    EXPECT_EQ(log.WithCode(IST_CODE_SUCCESS), (std::vector<StageEvent> { { IST_CODE_SUCCESS, 0.0, L"" } }));
    EXPECT_EQ(log.Events().size(), 4u);
    EXPECT_EQ(log.Events().back(), (StageEvent { IST_CODE_EXIT_STATUS, 0.0, L"" })) << "once it has ended";
}

TEST(InstallerRun, StopEndsAHangingPackageSilentlyAndTheStageCanRunAgain)
{
    EventLog log;
    ScriptedChild child(L"vlm_hanging_package.exe");
    child.SetScript("out Progress=0.5\nflush\nsleep 600000\nout State=Success\n");
    CInstaller installer(log.Callback(), child.Path(), L"");
    installer.Start();
    ASSERT_TRUE(log.WaitForEvent({ IST_CODE_PROGRESS, 0.5, L"" }, kRunLimitMs));
    ASSERT_FALSE(installer.WaitForRun(300));

    const DWORD pid = Utils::FindProcessIdByName(L"vlm_hanging_package.exe");
    ASSERT_NE(pid, 0u);
    Utils::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(process);

    const std::size_t before = log.Events().size();
    InstallTest::FinishWithin(
        10000, [&] { installer.Stop(); }, "stopping the installer");
    EXPECT_EQ(::WaitForSingleObject(process.get(), 5000), WAIT_OBJECT_0) << "the package still runs";
    EXPECT_EQ(log.Events().size(), before) << "a stopped run reports nothing";

    child.SetScript("out Progress=0.75\n");
    installer.Start();
    ASSERT_TRUE(installer.WaitForRun(kRunLimitMs));
    const auto events = log.Events();
    ASSERT_EQ(events.size(), before + 5); // and its exit status
    EXPECT_EQ(events[before + 2], (StageEvent { IST_CODE_PROGRESS, 0.75, L"" }));
    EXPECT_EQ(events.back(), (StageEvent { IST_CODE_SUCCESS, 1.0, L"" }));
}

TEST(InstallerCommandLine, TheChildSeesExactlyTheLineThatWasBuilt)
{
    ScriptedChild child;
    child.SetScript("");
    EventLog log;
    Pipeline::PackageCommand command;
    command.desktopShortcut = false;
    command.adminact = true;
    command.authorizationact = false;
    CInstaller installer(log.Callback(), child.Path(), L"", command);
    const std::wstring quoted = L"\"" + child.Path() + L"\"";

    auto runAndRecord = [&] {
        installer.Start();
        EXPECT_TRUE(installer.WaitForRun(kRunLimitMs));
        return child.RecordedCommandLine();
    };

    EXPECT_EQ(runAndRecord(),
        quoted + L" /S -console=show -version=1.0.0 -adminact=true -authorizationact=false -dsc=false -ssc=true");

    command = { true, false, false, true, L"zh-CN", L"-channel=beta  /quiet \"x y\"" };
    installer.SetPackage(child.Path(), L"C:\\Program Files (x86)\\Vellumora", command);
    const std::wstring full = quoted
        + L" /S -console=show -version=1.0.0 -adminact=false -authorizationact=true -dsc=true -ssc=false"
          L" -inslang=\"zh-CN\" -channel=beta  /quiet \"x y\""
          L" -instdir=\"C:\\Program Files (x86)\\Vellumora\" /D=C:\\Program Files (x86)\\Vellumora";
    EXPECT_EQ(installer.BuildCommandLine(), full);
    EXPECT_EQ(runAndRecord(), full);

    // Longer than the 1023 characters a fixed buffer would hold: arrives whole.
    command.extraArguments = L"-pad=" + std::wstring(1500, L'p');
    installer.SetPackage(child.Path(), L"C:\\Program Files (x86)\\Vellumora", command);
    const std::wstring longLine = runAndRecord();
    EXPECT_GT(longLine.size(), 1500u);
    EXPECT_EQ(longLine, installer.BuildCommandLine());
}

TEST(InstallerRun, OutputHeldOpenByALeftoverProcessDoesNotHoldTheRun)
{
    EventLog log;
    ScriptedChild child;
    const std::wstring grandchild = child.Folder() + L"\\vlm_grandchild.exe";
    ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), grandchild.c_str(), FALSE));
    Utils::ScopeExit endGrandchild([] {
        if (const DWORD pid = Utils::FindProcessIdByName(L"vlm_grandchild.exe")) {
            Utils::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
            ::TerminateProcess(process.get(), 0);
            ::WaitForSingleObject(process.get(), 5000);
        }
    });
    child.SetScript("spawn \"" + InstallTest::Utf8(grandchild) + "\" 60000\nout InstPath=after spawn\n");
    CInstaller installer(log.Callback(), child.Path(), L"");
    installer.Start();
    ASSERT_TRUE(installer.WaitForRun(kRunLimitMs)) << "the run waits for the leftover process";
    EXPECT_NE(Utils::FindProcessIdByName(L"vlm_grandchild.exe"), 0u) << "it should still hold the output open";
    EXPECT_EQ(log.Events(),
        (std::vector<StageEvent> { { IST_CODE_START, 0.0, L"" }, { IST_CODE_PROGRESS, 0.0, L"" },
            { IST_CODE_INST_PATH, 0.0, L"after spawn" }, { IST_CODE_EXIT_STATUS, 0.0, L"" },
            { IST_CODE_SUCCESS, 1.0, L"" } }));
}
