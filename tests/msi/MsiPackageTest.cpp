// The MSI package through Wine's msiexec, as a deployment tool runs it: installed with
// DOWNLOADURL and LOG from the demo server, the product is installed for the machine; removed,
// the product and its machine record go first, then the package's own file; a failing
// download is msiexec's failure (1603) with the installer's log named in the MSI log; a package
// that asks for a restart makes msiexec ask for one (3010).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <filesystem>
#include <memory>
#include <string>

#include "DemoHelpers.h"
#include "E2eSupport.h"
#include "ServerHarness.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Text.h"

namespace {

using namespace E2e;
constexpr auto kMachine = Utils::RecordRoot::Machine;
constexpr DWORD kMsiexecTimeoutMs = 100000;

std::wstring StubPath()
{
    wchar_t base[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, base, CSIDL_PROGRAM_FILESX86, FALSE)) {
        ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_PROGRAM_FILES, FALSE);
    }
    return std::wstring(base) + L"\\TarvikSoft\\Vellumora Installer\\VellumoraInstaller.exe";
}

// An MSI log as text: Windows Installer writes it in the ANSI code page, or UTF-16 with a mark.
std::string ReadMsiLog(const std::wstring& path)
{
    const std::string bytes = TestSupport::ReadFileBytes(path);
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF
        && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        const std::wstring wide(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return DemoTest::Utf8(wide);
    }
    return bytes;
}

class MsiPackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = std::make_unique<TestSupport::TempDir>(L"msi package");
        // Past the single-stream downloader's 1 MiB floor.
        PaddedCopy(L"1.0", *s_root / L"VellumoraPackage-1.0.exe", 2u * 1024 * 1024);
        // A package that ends with 3010 and no verdict, by the script the test puts beside the
        // folder it installs into.
        PaddedScriptedChild(*s_root / L"RestartPackage.exe", 2u * 1024 * 1024);
        s_server = StartPackageServer(*s_root / L"VellumoraPackage-1.0.exe", 280, s_port);
    }

    static void TearDownTestSuite()
    {
        s_server.reset();
        s_root.reset();
    }

    void SetUp() override
    {
        ASSERT_GT(s_port, 0) << s_server->Output();
        ASSERT_TRUE(DemoTest::Exists(m_msi)) << "built by the vlm_msi_package target";
        ASSERT_EQ(DemoTest::HttpRequest(s_port, "GET", "/admin/serve?file=VellumoraPackage-1.0.exe").status, 200);
        CleanMachine();
    }

    void TearDown() override
    {
        // Whatever a case left: the product removed by hand, then the package through msiexec,
        // whose installer then finds nothing installed.
        if (DemoTest::Exists(DefaultFolder() + L"\\uninst.ep")) {
            DemoTest::RunUninstaller(DefaultFolder());
        }
        CleanMachine();
        if (DemoTest::Exists(StubPath())) {
            EXPECT_EQ(Msiexec(L"/x", L"", L"cleanup"), 0u) << ReadMsiLog(MsiLog(L"cleanup"));
        }
    }

    static void CleanMachine()
    {
        ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\TarvikSoft\\Vellumora", KEY_WOW64_32KEY, 0);
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(DefaultFolder()), ignored);
    }

    // msiexec ACTION package /qn PROPERTIES, its verbose log in NAME.msi.log; its exit code.
    DWORD Msiexec(const std::wstring& action, const std::wstring& properties, const std::wstring& name)
    {
        const std::wstring line = L"msiexec.exe " + action + L" " + TestSupport::QuoteArgument(m_msi) + L" /qn "
            + properties + L" /l*v " + TestSupport::QuoteArgument(MsiLog(name));
        const TestSupport::ProcessResult result
            = TestSupport::RunProcessToFile(line, m_dir / (name + L".out"), kMsiexecTimeoutMs);
        EXPECT_TRUE(result.started) << DemoTest::Utf8(line);
        EXPECT_FALSE(result.timedOut) << DemoTest::Utf8(line);
        return result.exitCode;
    }

    std::wstring MsiLog(const std::wstring& name) const { return m_dir / (name + L".msi.log"); }

    std::wstring Url() const
    {
        return L"http://127.0.0.1:" + std::to_wstring(s_port)
            + L"/redirect/ver1/quorvel/download_silent/1.0/installer/123456";
    }

    TestSupport::TempDir m_dir { L"msi run" };
    const std::wstring m_msi = TestSupport::BinDirectory() + L"\\VellumoraInstaller.msi";
    static inline std::unique_ptr<TestSupport::TempDir> s_root;
    static inline std::unique_ptr<DemoTest::ServerProcess> s_server;
    static inline int s_port = 0;
};

TEST_F(MsiPackageTest, InstallsTheProductForTheMachineAndRemovesItWithThePackage)
{
    const std::wstring folder = DefaultFolder();
    const std::wstring stubLog = m_dir / L"installer.log";
    ASSERT_EQ(
        Msiexec(L"/i", L"DOWNLOADURL=" + Url() + L" " + TestSupport::QuoteArgument(L"LOG=" + stubLog), L"install"), 0u)
        << ReadMsiLog(MsiLog(L"install")) << TestSupport::ReadFileBytes(stubLog);
    EXPECT_TRUE(DemoTest::Exists(StubPath())) << "the installer in its protected folder";
    EXPECT_EQ(ProductValue(L"InstallPath", kMachine), folder);
    EXPECT_EQ(ProductValue(L"InstallVersion", kMachine), L"1.0.0");
    EXPECT_EQ(ProductValue(L"InstallPath"), L"") << "nothing in the account's record";
    EXPECT_EQ(DemoTest::FileVersion(folder + L"\\Quorvel.exe"), L"1.0");
    const std::string log = TestSupport::ReadFileBytes(stubLog);
    EXPECT_NE(log.find("-quiet=true -scope=machine -downloadurl=http://127.0.0.1:"), std::string::npos) << log;
    EXPECT_NE(log.find("quiet: exit code 0"), std::string::npos) << log;
    const std::string msiLog = ReadMsiLog(MsiLog(L"install"));
    EXPECT_NE(
        msiLog.find("Vellumora: the installer ended with exit code 0 (done); its log: " + DemoTest::Utf8(stubLog)),
        std::string::npos)
        << msiLog;

    ASSERT_EQ(Msiexec(L"/x", L"", L"remove"), 0u) << ReadMsiLog(MsiLog(L"remove"));
    EXPECT_FALSE(DemoTest::Exists(folder + L"\\Quorvel.exe"));
    for (const wchar_t* name : { L"InstallPath", L"UnInstallEp", L"InstallVersion" }) {
        EXPECT_EQ(ProductValue(name, kMachine), L"") << DemoTest::Utf8(name);
    }
    EXPECT_FALSE(DemoTest::Exists(StubPath())) << "the package's own file went last";
    const std::string removeLog = ReadMsiLog(MsiLog(L"remove"));
    EXPECT_NE(removeLog.find("with -uninstall -quiet -scope"), std::string::npos) << removeLog;
    // The quiet run's own log in the temporary folder, found by its process id.
    EXPECT_NE(removeLog.find("Vellumora: the installer ended with exit code 0 (done); its log: "), std::string::npos)
        << removeLog;
    EXPECT_EQ(removeLog.find("its log: none found"), std::string::npos) << removeLog;
}

TEST_F(MsiPackageTest, AFailingDownloadIsMsiexecsFailureAndNamesTheInstallersLog)
{
    const std::wstring stubLog = m_dir / L"failing.log";
    EXPECT_EQ(Msiexec(L"/i",
                  L"DOWNLOADURL=http://127.0.0.1:1/m/0123456789abcdef0123456789abcdef/package.exe "
                      + TestSupport::QuoteArgument(L"LOG=" + stubLog),
                  L"failing"),
        static_cast<DWORD>(ERROR_INSTALL_FAILURE));
    const std::string msiLog = ReadMsiLog(MsiLog(L"failing"));
    EXPECT_NE(msiLog.find("Vellumora: the installer ended with exit code 7 (the download failed); its log: "
                  + DemoTest::Utf8(stubLog)),
        std::string::npos)
        << msiLog;
    EXPECT_NE(TestSupport::ReadFileBytes(stubLog).find("quiet: exit code 7"), std::string::npos);
    EXPECT_EQ(ProductValue(L"InstallPath", kMachine), L"") << "nothing recorded";
    EXPECT_FALSE(DemoTest::Exists(StubPath())) << "the package rolled back";
}

TEST_F(MsiPackageTest, APackageThatAsksForARestartMakesMsiexecAskForIt)
{
    ASSERT_TRUE(Utils::EnsureDirectoryPath(DefaultFolder()));
    ASSERT_TRUE(TestSupport::WriteFileBytes(DefaultFolder() + L"\\__Package_Vellumora.script", "exit 3010\n"));
    ASSERT_EQ(DemoTest::HttpRequest(s_port, "GET", "/admin/serve?file=RestartPackage.exe").status, 200);
    EXPECT_EQ(Msiexec(L"/i", L"DOWNLOADURL=" + Url(), L"restart"), static_cast<DWORD>(ERROR_SUCCESS_REBOOT_REQUIRED));
    const std::string msiLog = ReadMsiLog(MsiLog(L"restart"));
    EXPECT_NE(msiLog.find("Vellumora: the installer ended with exit code 3010 (done; the computer must restart)"),
        std::string::npos)
        << msiLog;
    EXPECT_TRUE(DemoTest::Exists(StubPath())) << "installed, not rolled back";
}

} // namespace
