// What an administrator who deploys quietly relies on, with the real installer: a log file
// wherever it is asked for (and one by default), a bound on the package's run, and no
// option that is silently ignored.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "DemoHelpers.h"
#include "DriverActions.h"
#include "E2eSupport.h"
#include "ServerHarness.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

namespace {

using namespace E2e;

constexpr DWORD kRunTimeoutMs = 40000;
// "无效路径", the window's words for a folder that cannot be made, in UTF-8.
constexpr char kInvalidPathUtf8[] = "invalid folder (\xE6\x97\xA0\xE6\x95\x88\xE8\xB7\xAF\xE5\xBE\x84)";

std::vector<std::string> FileLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    const std::string bytes = TestSupport::ReadFileBytes(path);
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find("\r\n", at);
        lines.push_back(bytes.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end == std::string::npos ? bytes.size() : end + 2;
    }
    return lines;
}

// The log's first lines: version, Windows, command line, settings.
void ExpectFirstLines(const std::wstring& path, const std::string& inCommandLine)
{
    const std::vector<std::string> lines = FileLines(path);
    ASSERT_GE(lines.size(), 4u) << DemoTest::Utf8(path);
    EXPECT_EQ(lines[0].rfind("<P", 0), 0u) << "a line of the log, nothing before it";
    EXPECT_NE(lines[0].find(": Vellumora installer "), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].find("no version resource"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(": system: Windows "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find(": command line: "), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find(inCommandLine), std::string::npos) << lines[2];
    EXPECT_NE(lines[3].find(": settings: DownloadUrl=http://127.0.0.1:"), std::string::npos) << lines[3];
}

void EndProcessesNamed(const wchar_t* name)
{
    for (int i = 0; i < 20; ++i) {
        const DWORD pid = Utils::FindProcessIdByName(name);
        if (pid == 0) {
            return;
        }
        Utils::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

class DeploymentAuditTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = std::make_unique<TestSupport::TempDir>(L"deployment audit");
        const std::wstring packages = *s_root / L"packages";
        Utils::EnsureDirectoryPath(packages);
        PaddedCopy(L"1.0", packages + L"\\VellumoraPackage-1.0.exe", 2u * 1024 * 1024);
        // A package that never ends: the scripted child, past the downloader's size floor.
        std::string hanging = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
        hanging.resize(2u * 1024 * 1024, '\0');
        TestSupport::WriteFileBytes(packages + L"\\HangingPackage.exe", hanging);
        s_server = std::make_unique<DemoTest::ServerProcess>(
            L"--package=" + TestSupport::QuoteArgument(packages + L"\\VellumoraPackage-1.0.exe") + L" --lifetime=600");
        s_port = s_server->WaitForPort(15000);
    }

    static void TearDownTestSuite()
    {
        s_server.reset();
        s_root.reset();
    }

    void SetUp() override
    {
        ASSERT_GT(s_port, 0) << s_server->Output();
        ASSERT_EQ(DemoTest::HttpRequest(s_port, "GET", "/admin/serve?file=VellumoraPackage-1.0.exe").status, 200);
        CleanMachine();
        m_app = m_dir / L"app";
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_app));
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\VellumoraInstaller.exe").c_str(),
            (m_app + L"\\VellumoraInstaller.exe").c_str(), FALSE));
        const std::string settings = "[Install]\r\nDownloadUrl=http://127.0.0.1:" + std::to_string(s_port)
            + "/redirect/ver1/quorvel/download_silent/1.0/installer/123456\r\nIsCheckNet=false\r\n"
              "InstCmd=-stepms=0\r\nQuiet=true\r\n";
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_app + L"\\TarvikInstallerConfig.ini", settings));
        // A folder that cannot be made (a file is in the way): a quiet run ends at once, code 3.
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_dir / L"blocker", "x"));
        m_blockedFolder = L"\"-installdir=" + (m_dir / L"blocker") + L"\\TarvikQuill\"";
    }

    void TearDown() override
    {
        EndProcessesNamed(L"__Package_Vellumora.exe");
        if (DemoTest::Exists(DefaultFolder() + L"\\uninst.ep")) {
            DemoTest::RunUninstaller(DefaultFolder());
        }
        CleanMachine();
    }

    static void CleanMachine()
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TarvikSoft");
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(DefaultFolder()), ignored);
    }

    std::unique_ptr<LoggedInstaller> Start(const std::wstring& name, const std::wstring& arguments)
    {
        return std::make_unique<LoggedInstaller>(
            m_app + L"\\VellumoraInstaller.exe", arguments, m_dir / (name + L".debugger.log"));
    }

    // One run to its end: its exit code, its debugger lines in log.
    DWORD Run(const std::wstring& name, const std::wstring& arguments, std::string& log)
    {
        auto installer = Start(name, arguments);
        EXPECT_TRUE(installer->Started());
        const DWORD code = installer->WaitExit(kRunTimeoutMs);
        log = installer->Log();
        return code;
    }

    TestSupport::TempDir m_dir { L"audit run" };
    std::wstring m_app;
    std::wstring m_blockedFolder;
    static inline std::unique_ptr<TestSupport::TempDir> s_root;
    static inline std::unique_ptr<DemoTest::ServerProcess> s_server;
    static inline int s_port = 0;
};

TEST_F(DeploymentAuditTest, LogFileWhereverItIsAskedFor)
{
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring tempName = L"vlm-audit-" + std::to_wstring(::GetCurrentProcessId()) + L".log";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(m_dir / L"logs"));
    const struct {
        const wchar_t* name;
        std::wstring value;
        std::wstring file;
    } cases[] = {
        { L"folder", m_dir / L"logs\\run.log", m_dir / L"logs\\run.log" },
        { L"temp", L"%TEMP%\\" + tempName, std::wstring(temp) + tempName },
        { L"relative", L"relative.log", m_app + L"\\relative.log" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DemoTest::Utf8(c.name));
        std::string log;
        EXPECT_EQ(Run(c.name, L"\"-log=" + c.value + L"\" " + m_blockedFolder, log), 3u) << log;
        EXPECT_NE(log.find("log file: " + DemoTest::Utf8(c.file)), std::string::npos) << log;
        ExpectFirstLines(c.file, "-log=");
        const std::string bytes = TestSupport::ReadFileBytes(c.file);
        EXPECT_NE(bytes.find(kInvalidPathUtf8), std::string::npos) << "the Chinese text intact\n" << bytes;
        EXPECT_NE(bytes.find("exit code 3\r\n"), std::string::npos) << bytes;
        ::DeleteFileW(c.file.c_str());
    }
}

TEST_F(DeploymentAuditTest, LogFileThatCannotBeOpenedStopsAQuietRunOnly)
{
    const std::wstring readOnly = m_dir / L"read-only.log";
    ASSERT_TRUE(TestSupport::WriteFileBytes(readOnly, ""));
    ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    Utils::ScopeExit writable([&] { ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL); });
    const struct {
        const wchar_t* name;
        std::wstring path;
        bool window;
    } cases[] = {
        { L"a folder", m_dir.Path(), false },
        { L"read-only", readOnly, false },
        { L"window", m_dir.Path(), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DemoTest::Utf8(c.name));
        const std::wstring arguments = L"\"-log=" + c.path + L"\"" + (c.window ? L" -quiet=false" : L"");
        auto installer = Start(c.name, arguments);
        if (c.window) {
            EXPECT_NE(DemoDriver::WaitForWindow(L"MainWnd", 20000), nullptr) << installer->Log();
        } else {
            EXPECT_EQ(installer->WaitExit(kRunTimeoutMs), 2u) << installer->Log();
        }
        EXPECT_NE(installer->Log().find("' cannot be opened: "), std::string::npos) << installer->Log();
        EXPECT_EQ(TestSupport::ReadFileBytes(readOnly), "");
    }
    EXPECT_FALSE(DemoTest::Exists(DefaultFolder())) << "nothing done";
}

TEST_F(DeploymentAuditTest, QuietRunWithoutLogOptionKeepsItsLogInTheTemporaryFolder)
{
    std::string log;
    ASSERT_EQ(Run(L"default", m_blockedFolder, log), 3u) << log;
    const std::size_t at = log.find(": log file: ");
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("\r\n"), log.find("\r\n", at)) << "said in the first line\n" << log;
    const std::string path = log.substr(at + 12, log.find("\r\n", at) - at - 12);
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring file(path.begin(), path.end());
    EXPECT_EQ(file.rfind(std::wstring(temp) + L"VellumoraInstaller-", 0), 0u) << path;
    ExpectFirstLines(file, "-installdir=");
    EXPECT_NE(TestSupport::ReadFileBytes(file).find(kInvalidPathUtf8), std::string::npos);
    ::DeleteFileW(file.c_str());
}

TEST_F(DeploymentAuditTest, RunKilledHalfWayKeepsItsLinesUpToTheKill)
{
    const std::wstring file = m_dir / L"killed.log";
    auto installer = Start(L"killed", L"\"-log=" + file + L"\" \"-instcmd=-stepms=400\"");
    const ULONGLONG end = ::GetTickCount64() + 30000;
    while (TestSupport::ReadFileBytes(file).find("IST_CODE_START") == std::string::npos) {
        ASSERT_LT(::GetTickCount64(), end) << TestSupport::ReadFileBytes(file);
        ASSERT_EQ(installer->WaitExit(50), static_cast<DWORD>(STILL_ACTIVE)) << installer->Log();
    }
    Utils::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, installer->InstallerPid()));
    ASSERT_TRUE(process);
    ASSERT_TRUE(::TerminateProcess(process.get(), 9));
    ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
    EndProcessesNamed(L"__Package_Vellumora.exe");

    ExpectFirstLines(file, "-instcmd=-stepms=400");
    const std::string bytes = TestSupport::ReadFileBytes(file);
    EXPECT_NE(bytes.find("IST_CODE_START\r\n"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "whole lines only";
}

TEST_F(DeploymentAuditTest, PackageThatNeverEndsIsEndedWithItsChildrenAndExitCode11)
{
    const std::wstring grandchild = m_dir / L"vlm_audit_grandchild.exe";
    ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), grandchild.c_str(), FALSE));
    const std::wstring script = m_dir / L"hanging.script";
    ASSERT_TRUE(
        TestSupport::WriteFileBytes(script, "spawn \"" + DemoTest::Utf8(grandchild) + "\" 60000\nsleep 60000\n"));
    // The installer and the package it starts inherit both; one "minute" lasts a second.
    ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT", script.c_str());
    ::SetEnvironmentVariableW(L"VLM_TEST_PACKAGETIMEOUT_IN_SECONDS", L"1");
    Utils::ScopeExit restore([] {
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT", nullptr);
        ::SetEnvironmentVariableW(L"VLM_TEST_PACKAGETIMEOUT_IN_SECONDS", nullptr);
        EndProcessesNamed(L"vlm_audit_grandchild.exe");
    });
    ASSERT_EQ(DemoTest::HttpRequest(s_port, "GET", "/admin/serve?file=HangingPackage.exe").status, 200);

    std::string log;
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_EQ(Run(L"timeout", L"-packagetimeout=2", log), 11u) << log;
    EXPECT_LT(::GetTickCount64() - start, 25000u);
    EXPECT_NE(log.find(": child "), std::string::npos) << "the package ran\n" << log;
    EXPECT_NE(log.find("did not finish within its time limit (2 s)"), std::string::npos) << log;
    EXPECT_EQ(Utils::FindProcessIdByName(L"__Package_Vellumora.exe"), 0u) << "the package is left";
    EXPECT_EQ(Utils::FindProcessIdByName(L"vlm_audit_grandchild.exe"), 0u) << "the process it started is left";
    EXPECT_EQ(ProductValue(L"InstallPath"), L"") << "nothing recorded";
    EXPECT_FALSE(DemoTest::Exists(DefaultFolder() + L"\\__Package_Vellumora.exe"));
}

TEST_F(DeploymentAuditTest, UnknownOptionsAndUnusableSwitchesStopOnlyQuietRuns)
{
    const struct {
        const wchar_t* arguments;
        const char* logLine;
    } cases[] = {
        { L"-quite=true", "option '-quite' ignored" },
        { L"-instaldir=C:\\Elsewhere", "option '-instaldir' ignored" },
        { L"-quiet=yes", "value refused: '-quiet=yes' (only true or false)" },
        { L"-launch=1", "value refused: '-launch=1'" },
        { L"-packagetimeout=soon", "value refused: '-packagetimeout=soon'" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DemoTest::Utf8(c.arguments));
        std::string log;
        EXPECT_EQ(Run(L"refused", c.arguments, log), 2u) << log;
        EXPECT_NE(log.find(c.logLine), std::string::npos) << log;
    }
    EXPECT_FALSE(DemoTest::Exists(DefaultFolder())) << "nothing done";

    auto window = Start(L"window", L"-quiet=false -quite=true");
    EXPECT_NE(DemoDriver::WaitForWindow(L"MainWnd", 20000), nullptr) << window->Log();
    EXPECT_NE(window->Log().find("option '-quite' ignored"), std::string::npos) << window->Log();
}

} // namespace
