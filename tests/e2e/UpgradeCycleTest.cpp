// The installer's whole job with the real programs, under Xvfb: the package server serves
// the demo package 1.0, the installer (clicked with real input) downloads and installs it;
// then the server serves 2.0 and a second run removes 1.0 through its uninstaller and
// installs 2.0 into the same folder. Once per downloader (DownloadType 1, 2 and 3).
#include <gtest/gtest.h>

#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "DemoHelpers.h"
#include "E2eSupport.h"
#include "InstallFlow.h"
#include "ServerHarness.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

namespace {

constexpr DWORD kRunTimeoutMs = 40000;

using namespace E2e;

class UpgradeCycleTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        CleanMachine();
        m_folder = DefaultFolder();
        m_app = m_root / L"app";
        m_packages = m_root / L"packages";
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_app));
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_packages));
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\VellumoraInstaller.exe").c_str(),
            (m_app + L"\\VellumoraInstaller.exe").c_str(), FALSE));
        // One stream needs 1 MiB, two ranges need 20 MiB.
        const std::size_t size = (GetParam() == 3 ? 21u : 2u) * 1024 * 1024;
        ASSERT_TRUE(PaddedCopy(L"1.0", m_packages + L"\\VellumoraPackage-1.0.exe", size));
        ASSERT_TRUE(PaddedCopy(L"2.0", m_packages + L"\\VellumoraPackage-2.0.exe", size));

        m_server = std::make_unique<DemoTest::ServerProcess>(L"--package="
            + TestSupport::QuoteArgument(m_packages + L"\\VellumoraPackage-1.0.exe") + L" --lifetime=120");
        m_port = m_server->WaitForPort(15000);
        ASSERT_GT(m_port, 0) << m_server->Output();

        const std::string settings = "[Install]\r\nDownloadUrl=http://127.0.0.1:" + std::to_string(m_port)
            + "/redirect/ver1/quorvel/download_silent/1.0/installer/123456\r\nDownloadType="
            + std::to_string(GetParam()) + "\r\nIsCheckNet=false\r\nInstCmd=-stepms=0\r\n";
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_app + L"\\TarvikInstallerConfig.ini", settings));
    }

    void TearDown() override
    {
        m_server.reset();
        // The installed uninstaller takes the shortcuts away; then the rest goes.
        if (DemoTest::Exists(m_folder + L"\\uninst.ep")) {
            DemoTest::RunUninstaller(m_folder);
        }
        CleanMachine();
    }

    void CleanMachine()
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\TarvikSoft");
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(DefaultFolder()), ignored);
        ::DeleteFileW(AnalyticsFile().c_str());
    }

    // One installer run driven to its finished page and closed; returns its log.
    std::string Run(const std::wstring& name, DemoDriver::StartBy startBy, const std::wstring& arguments = L"")
    {
        const std::wstring logFile = m_root / (name + L".log");
        LoggedInstaller installer(m_app + L"\\VellumoraInstaller.exe", arguments, logFile);
        EXPECT_TRUE(installer.Started());
        DemoDriver::FlowOptions options;
        options.startBy = startBy;
        options.logFile = logFile;
        options.shotsFolder = TestSupport::BinDirectory() + L"\\..\\screenshots";
        ::CreateDirectoryW(options.shotsFolder.c_str(), nullptr);
        options.shotPrefix = L"e2e-type" + std::to_wstring(GetParam()) + L"-" + name;
        options.finishTimeoutMs = kRunTimeoutMs;
        std::wstring steps;
        const DemoDriver::FlowResult result
            = DemoDriver::DriveInstall(options, [&](const std::wstring& line) { steps += line + L"\n"; });
        EXPECT_TRUE(result.ok) << DemoTest::Utf8(steps) << "\nlog:\n" << installer.Log();
        EXPECT_EQ(installer.WaitExit(10000), 0u) << "the installer ends after its window closed";
        return installer.Log();
    }

    std::string InstallRecord() const { return TestSupport::ReadFileBytes(m_folder + L"\\install.rec"); }

    TestSupport::TempDir m_root { L"e2e cycle" };
    std::wstring m_app;
    std::wstring m_packages;
    std::wstring m_folder;
    std::unique_ptr<DemoTest::ServerProcess> m_server;
    int m_port = 0;
};

TEST_P(UpgradeCycleTest, InstallsOneThenUpgradesToTwoThroughTheOldUninstaller)
{
    // 1.0, with the one-click install on the start page.
    const std::string firstLog = Run(L"install", DemoDriver::StartBy::DefaultInstallButton);
    ASSERT_FALSE(HasFailure());
    EXPECT_NE(firstLog.find("DL_TYPE=" + std::to_string(GetParam())), std::string::npos) << firstLog;
    EXPECT_EQ(ProductValue(L"InstallPath"), m_folder);
    EXPECT_EQ(ProductValue(L"UnInstallEp"), m_folder + L"\\uninst.ep");
    EXPECT_EQ(DemoTest::FileVersion(m_folder + L"\\Quorvel.exe"), L"1.0");
    EXPECT_NE(InstallRecord().find("version=1.0"), std::string::npos);
    const std::wstring setIni = m_folder + L"\\set.ini";
    EXPECT_EQ(DemoTest::IniValue(setIni, L"Install", L"APPStore"), L"VellumoraInstaller.exe");
    EXPECT_EQ(DemoTest::IniValue(setIni, L"Install", L"AppName"), L"Vellumora");
    const std::wstring firstDevice = DemoTest::IniValue(setIni, L"Install", L"DeviceID");
    EXPECT_EQ(firstDevice.size(), 32u);
    EXPECT_NE(DemoTest::IniValue(AnalyticsFile(), L"Init", L"UpdateTime"), L"<absent>");
    EXPECT_FALSE(DemoTest::Exists(m_folder + L"\\__Package_Vellumora.exe")) << "the package is deleted after its run";

    // A file only 1.0's record lists: only 1.0's uninstaller takes it away.
    ASSERT_TRUE(TestSupport::WriteFileBytes(m_folder + L"\\only-in-1.0.txt", "1.0"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(m_folder + L"\\install.rec", InstallRecord() + "file=only-in-1.0.txt\n"));
    const DemoTest::HttpReply switched
        = DemoTest::HttpRequest(m_port, "GET", "/admin/serve?file=VellumoraPackage-2.0.exe");
    ASSERT_EQ(switched.status, 200) << switched.body;

    // 2.0: type 1 over the existing-installation prompt's okBtn, the others as an updater
    // would start it.
    const bool prompt = GetParam() == 1;
    const std::string log
        = Run(L"upgrade", prompt ? DemoDriver::StartBy::ExistingInstallationOk : DemoDriver::StartBy::Itself,
            prompt ? L"" : L"-insnew=true");
    ASSERT_FALSE(HasFailure());
    const std::size_t removal = log.find("TarvikQuill_un_asa.exe");
    ASSERT_NE(removal, std::string::npos) << "the old uninstaller ran\n" << log;
    EXPECT_NE(log.find("_?=" + DemoTest::Utf8(m_folder), removal), std::string::npos) << log;
    const std::size_t removed = log.find("UNIST_CODE_SUCCESS");
    ASSERT_NE(removed, std::string::npos) << log;
    EXPECT_LT(log.find("DL_CODE_SUCCESS"), removal) << "the package is acquired before the removal\n" << log;
    EXPECT_LT(removed, log.find("IST_CODE_START")) << "the package runs after the removal\n" << log;
    EXPECT_FALSE(DemoTest::Exists(m_folder + L"\\only-in-1.0.txt")) << "1.0's uninstaller removed 1.0's files";

    EXPECT_EQ(DemoTest::FileVersion(m_folder + L"\\Quorvel.exe"), L"2.0");
    const std::string record = InstallRecord();
    EXPECT_NE(record.find("version=2.0"), std::string::npos) << record;
    EXPECT_EQ(record.find("only-in-1.0.txt"), std::string::npos) << record;
    EXPECT_EQ(ProductValue(L"InstallPath"), m_folder);
    EXPECT_EQ(ProductValue(L"UnInstallEp"), m_folder + L"\\uninst.ep");
    EXPECT_EQ(DemoTest::IniValue(setIni, L"Install", L"AppName"), L"Vellumora");
    const std::wstring device = DemoTest::IniValue(setIni, L"Install", L"DeviceID");
    EXPECT_EQ(device.size(), 32u);
    EXPECT_NE(device, firstDevice) << "set.ini is written anew by the upgrade";
    EXPECT_FALSE(DemoTest::Exists(m_folder + L"\\__Package_Vellumora.exe"));

    const std::string served = m_server->Output();
    const std::size_t gets = Count(served, "GET /packages/");
    const std::size_t ranged = Count(served, "VellumoraPackage-2.0.exe Range=bytes=");
    if (GetParam() == 3) {
        EXPECT_GE(ranged, 2u) << "two ranges for 2.0\n" << served;
    }
    EXPECT_GE(gets, 2u) << served;
}

INSTANTIATE_TEST_SUITE_P(DownloadType, UpgradeCycleTest, ::testing::Values(1, 2, 3),
    [](const ::testing::TestParamInfo<int>& info) { return "Type" + std::to_string(info.param); });

} // namespace
