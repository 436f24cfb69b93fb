// The real installer, end to end, under Xvfb: the scripted HTTP server serves a copy of the
// scripted child as the package; clicks and typing are real input.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <list>
#include <memory>
#include <set>
#include <type_traits>
#include <vector>

#include "AccessibleClient.h"
#include "GuiDriver.h"
#include "InstallerHarness.h"
#include "SigningFixtures.h"
#include "support/ProcessRunner.h"
#include "session/InstallRecord.h"
#include "utils/FileSystem.h"

using namespace InstallerGui;

namespace {

constexpr wchar_t kMain[] = L"MainWnd.xml";
constexpr DWORD kInstallWaitMs = 25000;

std::wstring ReadUtf16File(const std::wstring& path)
{
    const std::string bytes = TestSupport::ReadFileBytes(path);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

std::wstring IniValue(const std::wstring& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t value[256] = {};
    ::GetPrivateProfileStringW(section, key, L"", value, 256, file.c_str());
    return value;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class InstallerGuiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        ASSERT_TRUE(m_server.Running());
        m_server.AddBody("pkg.exe", PackageBody());
        m_app = m_root / L"app";
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_app));
        ASSERT_TRUE(
            ::CopyFileW((TestSupport::BinDirectory() + L"\\VellumoraInstaller.exe").c_str(), Exe().c_str(), FALSE));
        WriteSettings(false);
    }

    void TearDown() override
    {
        m_installer.Kill();
        for (auto& helper : m_helpers) {
            helper.Kill();
        }
        DeleteProductKey();
        for (const auto& folder : m_cleanup) {
            RemoveTree(folder);
        }
        ::DeleteFileW((AnalyticsFolder() + L"\\TKSensorsAnalytics.ini").c_str());
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", nullptr);
    }

    std::wstring Exe() const { return m_app + L"\\VellumoraInstaller.exe"; }

    void WriteSettings(bool checkNet, const std::string& more = "")
    {
        const std::string ini = "[Install]\r\nDownloadUrl=" + m_server.FileUrl("pkg.exe")
            + "\r\nDownloadType=1\r\nDownloadScale=0.7\r\nIsCheckNet=" + (checkNet ? "true" : "false") + "\r\n" + more;
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_app + L"\\TarvikInstallerConfig.ini", ini));
    }

    HWND StartMain(const std::wstring& arguments = L"")
    {
        if (!m_installer.Start(Exe(), arguments)) {
            return nullptr;
        }
        return WaitForProcessWindow(m_installer.Pid(), L"MainWnd");
    }

    HWND WaitBox(const wchar_t* className) { return WaitForProcessWindow(m_installer.Pid(), className); }

    std::wstring PackageCommandLineFile() const { return m_root / L"package-cmdline.bin"; }

    // The package finds its script beside itself once downloaded.
    void SetPackageScript(const std::wstring& installDir, const std::string& script)
    {
        ASSERT_TRUE(Utils::EnsureDirectoryPath(installDir));
        ASSERT_TRUE(TestSupport::WriteFileBytes(
            installDir + L"\\__Package_Vellumora.script", "cmdline " + Utf8(PackageCommandLineFile()) + "\n" + script));
    }

    // A copy of the scripted child under name in folder, recording its command line.
    std::wstring MakeHelper(const std::wstring& folder, const std::wstring& name, const std::string& script = "")
    {
        EXPECT_TRUE(Utils::EnsureDirectoryPath(folder));
        const std::wstring path = folder + L"\\" + name;
        EXPECT_TRUE(
            ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe").c_str(), path.c_str(), FALSE));
        const std::wstring stem = path.substr(0, path.find_last_of(L'.'));
        EXPECT_TRUE(
            TestSupport::WriteFileBytes(stem + L".script", "cmdline " + Utf8(stem + L".cmdline") + "\n" + script));
        return path;
    }
    static std::wstring RecordedBy(const std::wstring& helper)
    {
        return helper.substr(0, helper.find_last_of(L'.')) + L".cmdline";
    }

    // Runs a helper that stays for a while (a "running" product or uninstaller).
    void RunHelper(const std::wstring& path)
    {
        m_helpers.emplace_back();
        ASSERT_TRUE(m_helpers.back().Start(path));
        ASSERT_TRUE(WaitFor([&] { return Utils::PathExists(RecordedBy(path)); }, 10000));
    }

    // An earlier installation: registry values, its folder, its uninstaller and product.
    std::wstring MakeExistingInstallation(const std::string& uninstallerScript = "out State=Success\n")
    {
        const std::wstring folder = m_root / L"existing";
        MakeHelper(folder, L"uninst.ep");
        MakeHelper(folder, L"Quorvel.exe");
        ::RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\TarvikSoft\\Vellumora", L"InstallPath", REG_SZ, folder.c_str(),
            static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
        // The removal runs a copy of the uninstaller from a fresh work folder of the installer's:
        // the copy finds its script through the environment the installer passes on.
        m_uninstallerRecord = m_root / L"uninstaller-cmdline.bin";
        const std::wstring script = m_root / L"uninstaller.script";
        EXPECT_TRUE(
            TestSupport::WriteFileBytes(script, "cmdline " + Utf8(m_uninstallerRecord) + "\n" + uninstallerScript));
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", script.c_str());
        return folder;
    }

    // The package was told to make the desktop shortcut, not the quick-launch one, in folder.
    void ExpectDesktopShortcutOnlyInto(const std::wstring& folder)
    {
        const std::wstring line = ReadUtf16File(PackageCommandLineFile());
        EXPECT_NE(line.find(L"-dsc=true"), std::wstring::npos) << Utf8(line);
        EXPECT_NE(line.find(L"-ssc=false"), std::wstring::npos) << Utf8(line);
        EXPECT_TRUE(EndsWith(line, L"/D=" + folder)) << Utf8(line);
    }

    void CloseFromFinishedPage(HWND main)
    {
        Click(main, kMain, L"closebtn", 3);
        EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "closebtn on the finished page closes without asking";
    }

    // The custom page with a typed folder, then its install button, by real input.
    void StartCustomInstall(HWND main, const std::wstring& folder)
    {
        Click(main, kMain, L"customeBtn", 0);
        ASSERT_TRUE(TypeIntoEdit(main, kMain, L"installDirEdit", 1, folder)) << "the folder was typed";
        Click(main, kMain, L"customeInstallBtn", 1);
    }

    void WaitInstalled(const std::wstring& folder)
    {
        ASSERT_TRUE(WaitFor([&] { return ReadProductValue(L"InstallPath") == folder; }, kInstallWaitMs))
            << "InstallPath now '" << Utf8(ReadProductValue(L"InstallPath")) << "'";
    }

    // The registry already names the existing folder: wait for the value only the finish adds.
    void WaitInstalledOver(const std::wstring& existing)
    {
        ASSERT_TRUE(
            WaitFor([&] { return ReadProductValue(L"UnInstallEp") == existing + L"\\uninst.ep"; }, kInstallWaitMs));
    }

    TestSupport::HttpTestServer m_server;
    TestSupport::TempDir m_root { L"installer gui" };
    std::wstring m_app;
    std::wstring m_uninstallerRecord;
    InstallerProcess m_installer;
    std::list<InstallerProcess> m_helpers;
    std::vector<std::wstring> m_cleanup;
};

} // namespace

TEST_F(InstallerGuiTest, DefaultInstallShowsProgressAndRecordsTheInstallation)
{
    TestSupport::HttpFault slow;
    slow.method = "GET";
    slow.bytesPerSecond = 700 * 1024;
    m_server.SetStandingFault("pkg.exe", slow);

    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = EditText(main);
    ASSERT_FALSE(folder.empty());
    std::printf("default folder: %s\n", Utf8(folder).c_str());
    m_cleanup.push_back(folder);
    SetPackageScript(
        folder, "out Progress=0.2\nflush\nsleep 1500\nout Progress=0.6\nflush\nsleep 1500\nout State=Success\n");
    ASSERT_TRUE(TestSupport::WriteFileBytes(folder + L"\\uninst.ep", "x"));
    Shot(main, L"installer-page0-start.png");

    Click(main, kMain, L"defaultInstallBtn", 0);
    ASSERT_TRUE(WaitFor([&] { return !m_server.Requests("GET").empty(); }, 10000));
    ::Sleep(1200);
    Shot(main, L"installer-page2-downloading.png");
    // A close request while installing is ignored.
    ::PostMessageW(main, WM_CLOSE, 1, 0);
    ASSERT_TRUE(WaitFor([&] { return Utils::PathExists(PackageCommandLineFile()); }, kInstallWaitMs));
    ::Sleep(400);
    EXPECT_TRUE(::IsWindow(main)) << "a close request on the installing page is ignored";
    Shot(main, L"installer-page2-package-running.png");

    WaitInstalled(folder);
    ::Sleep(300);
    Shot(main, L"installer-page3-finished.png");
    EXPECT_EQ(ReadProductValue(L"UnInstallEp"), folder + L"\\uninst.ep");
    const std::wstring setIni = folder + L"\\set.ini";
    EXPECT_EQ(IniValue(setIni, L"Install", L"APPStore"), L"VellumoraInstaller.exe");
    EXPECT_EQ(IniValue(setIni, L"Install", L"AppName"), L"Vellumora");
    EXPECT_EQ(IniValue(setIni, L"Install", L"DeviceID").size(), 32u);
    EXPECT_FALSE(IniValue(AnalyticsFolder() + L"\\TKSensorsAnalytics.ini", L"Init", L"UpdateTime").empty());
    EXPECT_TRUE(WaitFor([&] { return !Utils::PathExists(folder + L"\\__Package_Vellumora.exe"); }, 10000))
        << "the package is deleted once its run is over";
    const std::wstring line = ReadUtf16File(PackageCommandLineFile());
    EXPECT_NE(line.find(L"-dsc=true -ssc=true"), std::wstring::npos) << Utf8(line);
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, CustomInstallPassesTheTypedFolderAndShortcutWishes)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = m_root / L"custom place\\Vellumora";
    SetPackageScript(folder, "out State=Success\n");

    Click(main, kMain, L"customeBtn", 0);
    ::Sleep(300);
    TypeIntoEdit(main, kMain, L"installDirEdit", 1, folder);
    ASSERT_EQ(EditText(main), folder);
    Click(main, kMain, L"createQSCb", 1);
    ::Sleep(300);
    Shot(main, L"installer-page1-custom.png");
    Click(main, kMain, L"customeInstallBtn", 1);

    WaitInstalled(folder);
    ExpectDesktopShortcutOnlyInto(folder);
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, OneCopyAtATimeAndTheExitPromptDecides)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);

    InstallerProcess second;
    ASSERT_TRUE(second.Start(Exe()));
    EXPECT_EQ(second.WaitExit(10000), static_cast<DWORD>(-1));
    EXPECT_FALSE(HasVisibleWindow(second.Pid())) << "the second copy shows nothing";

    // Escape never closes; the close button asks first.
    GuiDriver::PressKeys({ VK_ESCAPE });
    Click(main, kMain, L"closebtn", 0);
    HWND exitBox = WaitBox(L"ExitTipWnd");
    ASSERT_NE(exitBox, nullptr);
    Shot(exitBox, L"installer-prompt-exit.png");
    GuiDriver::PressKeys({ VK_ESCAPE });
    ::Sleep(300);
    EXPECT_TRUE(::IsWindow(exitBox)) << "Escape does not close the prompt";
    Click(exitBox, L"ExitTipWnd.xml", L"closebtn");
    ASSERT_TRUE(GuiDriver::WaitGone(exitBox, 5000));
    EXPECT_EQ(m_installer.WaitExit(500), static_cast<DWORD>(STILL_ACTIVE)) << "only okBtn quits";

    Click(main, kMain, L"closebtn", 0);
    exitBox = WaitBox(L"ExitTipWnd");
    ASSERT_NE(exitBox, nullptr);
    Click(exitBox, L"ExitTipWnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);

    // The mutex went with the first copy.
    InstallerProcess third;
    ASSERT_TRUE(third.Start(Exe()));
    EXPECT_NE(WaitForProcessWindow(third.Pid(), L"MainWnd"), nullptr);
}

TEST_F(InstallerGuiTest, DownloadFailureOffersARetryThatInstalls)
{
    TestSupport::HttpFault missing;
    missing.status = 404;
    m_server.SetStandingFault("pkg.exe", missing);
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = EditText(main);
    m_cleanup.push_back(folder);
    SetPackageScript(folder, "out State=Success\n");

    Click(main, kMain, L"defaultInstallBtn", 0);
    HWND tip = WaitBox(L"NetworkTipWnd");
    ASSERT_NE(tip, nullptr);
    Shot(tip, L"installer-prompt-network.png");
    m_server.SetStandingFault("pkg.exe", TestSupport::HttpFault {});
    Click(tip, L"NetworkTipWnd.xml", L"okBtn");
    WaitInstalled(folder);
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, InstallFailureShowsThePackagesMessageAndReturnsToTheStart)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = m_root / L"failing";
    SetPackageScript(folder, "out Progress=0.9\nout Error=disk full\n");
    StartCustomInstall(main, folder);

    HWND box = WaitBox(L"MessageBox2Wnd");
    ASSERT_NE(box, nullptr);
    Shot(box, L"installer-prompt-install-failed.png");
    Click(box, L"MessageBox2Wnd.xml", L"closebtn");
    ASSERT_TRUE(GuiDriver::WaitGone(box, 5000));
    ::Sleep(300);
    Shot(main, L"installer-page0-after-failure.png");
    // Back on the start page, where the close button (hidden while installing) asks.
    Click(main, kMain, L"closebtn", 0);
    HWND exitBox = WaitBox(L"ExitTipWnd");
    ASSERT_NE(exitBox, nullptr);
    Click(exitBox, L"ExitTipWnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
    EXPECT_TRUE(ReadProductValue(L"InstallPath").empty());
}

TEST_F(InstallerGuiTest, ExistingInstallationPromptQuitOrOpenTheProduct)
{
    const std::wstring existing = MakeExistingInstallation();
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    HWND tip = WaitBox(L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    Shot(tip, L"installer-prompt-installed-path.png");
    Click(tip, L"InstalledPathTipWnd.xml", L"closebtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "closebtn quits";

    main = StartMain();
    ASSERT_NE(main, nullptr);
    tip = WaitBox(L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    Click(tip, L"InstalledPathTipWnd.xml", L"cancelBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
    EXPECT_TRUE(WaitFor([&] { return Utils::PathExists(RecordedBy(existing + L"\\Quorvel.exe")); }, 10000))
        << "cancelBtn opens the installed product";
}

TEST_F(InstallerGuiTest, InstallingOverTheExistingCopyKeepsItWhenItsSettingsSaySo)
{
    const std::wstring existing = MakeExistingInstallation();
    ASSERT_TRUE(::WritePrivateProfileStringW(L"Uninstall", L"IsOverride", L"false", (existing + L"\\set.ini").c_str()));
    SetPackageScript(existing, "out State=Success\n");
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    HWND tip = WaitBox(L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    Click(tip, L"InstalledPathTipWnd.xml", L"okBtn");
    WaitInstalledOver(existing);
    EXPECT_TRUE(EndsWith(ReadUtf16File(PackageCommandLineFile()), L"/D=" + existing));
    EXPECT_FALSE(Utils::PathExists(m_uninstallerRecord)) << "IsOverride=false: no removal";
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, InsNewInstallsIntoTheExistingFolderAtOnceAfterRemovingIt)
{
    const std::wstring existing = MakeExistingInstallation();
    SetPackageScript(existing, "out State=Success\n");
    HWND main = StartMain(L"-insnew=true");
    ASSERT_NE(main, nullptr);
    WaitInstalledOver(existing);
    EXPECT_EQ(::FindWindowW(L"InstalledPathTipWnd", nullptr), nullptr) << "-insnew asks nothing";
    EXPECT_TRUE(Utils::PathExists(m_uninstallerRecord)) << "the old version was removed first";
    EXPECT_TRUE(EndsWith(ReadUtf16File(PackageCommandLineFile()), L"/D=" + existing));
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, FailedRemovalOfTheOldVersionTellsAndCloses)
{
    const std::wstring existing = MakeExistingInstallation("out State=Fail\n");
    SetPackageScript(existing, "out State=Success\n");
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    HWND tip = WaitBox(L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    Click(tip, L"InstalledPathTipWnd.xml", L"okBtn");
    HWND box = WaitBox(L"MessageBox1Wnd");
    ASSERT_NE(box, nullptr);
    Shot(box, L"installer-prompt-old-version-running.png");
    Click(box, L"MessageBox1Wnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "with an existing installation the installer closes";
    EXPECT_FALSE(Utils::PathExists(PackageCommandLineFile())) << "the package, acquired first, never ran";
    EXPECT_EQ(ReadProductValue(L"InstallPath"), existing);
}

TEST_F(InstallerGuiTest, RefusesAnInvalidFolderAndARunningUninstallerButStaysOpen)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    Click(main, kMain, L"customeBtn", 0);
    ::Sleep(200);
    // A folder that cannot be created, and a relative one that would land wherever the
    // working directory is.
    HWND box = nullptr;
    for (const std::wstring& bad : { m_root / L"bad|name", std::wstring(L"relative\\folder") }) {
        TypeIntoEdit(main, kMain, L"installDirEdit", 1, bad);
        Click(main, kMain, L"customeInstallBtn", 1);
        box = WaitBox(L"MessageBox2Wnd");
        ASSERT_NE(box, nullptr);
        Shot(box, L"installer-prompt-invalid-path.png");
        Click(box, L"MessageBox2Wnd.xml", L"closebtn");
        ASSERT_TRUE(GuiDriver::WaitGone(box, 5000));
    }
    EXPECT_FALSE(Utils::PathExists(m_app + L"\\relative"));

    RunHelper(MakeHelper(m_root / L"running", L"TarvikQuill_un_asa.exe", "sleep 30000\n"));
    Click(main, kMain, L"customeInstallBtn", 1);
    box = WaitBox(L"MessageBox1Wnd");
    ASSERT_NE(box, nullptr);
    Shot(box, L"installer-prompt-product-running.png");
    Click(box, L"MessageBox1Wnd.xml", L"okBtn");
    ASSERT_TRUE(GuiDriver::WaitGone(box, 5000));
    EXPECT_EQ(m_installer.WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE)) << "no existing installation: stays";
    EXPECT_TRUE(m_server.Requests("GET").empty());
}

TEST_F(InstallerGuiTest, RefusesWhileTheProductRunsAndCloses)
{
    RunHelper(MakeHelper(m_root / L"running", L"Quorvel.exe", "sleep 30000\n"));
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    Click(main, kMain, L"defaultInstallBtn", 0);
    HWND box = WaitBox(L"MessageBox1Wnd");
    ASSERT_NE(box, nullptr);
    Click(box, L"MessageBox1Wnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
    EXPECT_TRUE(m_server.Requests("GET").empty());
}

TEST_F(InstallerGuiTest, AutoStartupLaunchesProductAndStartUrlThenClosesByItself)
{
    const std::wstring product = MakeHelper(m_root / L"product", L"product.exe");
    const std::wstring page = MakeHelper(m_root / L"product", L"starturl.exe");
    const std::wstring folder = m_root / L"auto";
    SetPackageScript(folder,
        "out ExePath=" + ScriptText(product) + "\nout StartUrl=" + ScriptText(page)
            + "\nout StartupStyle=AutoStartup\nout TopShowDetention=200\nout FinsihCloseDetention=1500\n"
              "out State=Success\n");
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    StartCustomInstall(main, folder);
    WaitInstalled(folder);
    EXPECT_TRUE(WaitFor([&] { return Utils::PathExists(RecordedBy(product)); }, 10000));
    EXPECT_TRUE(WaitFor([&] { return Utils::PathExists(RecordedBy(page)); }, 10000));
    EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "FinsihCloseDetention closes the window";
}

TEST_F(InstallerGuiTest, UserStartupLaunchesOnlyFromTheFinishButtonAndNonStartupNever)
{
    for (const char* style : { "UserStartup", "NonStartup" }) {
        SCOPED_TRACE(style);
        DeleteProductKey();
        const std::wstring folder = m_root / (L"style " + std::wstring(style, style + strlen(style)));
        const std::wstring product = MakeHelper(folder + L" product", L"product.exe");
        SetPackageScript(folder,
            "out ExePath=" + ScriptText(product) + "\nout StartUrl=" + ScriptText(product)
                + "\nout StartupStyle=" + style + "\nout State=Success\n");
        HWND main = StartMain();
        ASSERT_NE(main, nullptr);
        StartCustomInstall(main, folder);
        WaitInstalled(folder);
        ::Sleep(500);
        EXPECT_FALSE(Utils::PathExists(RecordedBy(product))) << "nothing starts before the button";
        Click(main, kMain, L"openProduceBtn", 3);
        EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "openProduceBtn closes in any case";
        const bool launched = WaitFor([&] { return Utils::PathExists(RecordedBy(product)); }, 3000);
        EXPECT_EQ(launched, std::string(style) == "UserStartup");
    }
}

TEST_F(InstallerGuiTest, NetworkCheckRunsBeforeTheInstallAndOnlyWarns)
{
    WriteSettings(true);
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = m_root / L"checked";
    SetPackageScript(folder, "out State=Success\n");
    StartCustomInstall(main, folder);
    // Whatever the machine's network looks like, a warning may come, and the install goes on.
    const bool installed = WaitFor(
        [&] {
            if (HWND box = ::FindWindowW(L"MessageBox2Wnd", nullptr)) {
                Shot(box, L"installer-prompt-poor-network.png");
                Click(box, L"MessageBox2Wnd.xml", L"closebtn");
                GuiDriver::WaitGone(box, 5000);
            }
            return ReadProductValue(L"InstallPath") == folder;
        },
        kInstallWaitMs);
    EXPECT_TRUE(installed);
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, TheProgramAsksForAdministratorRightsAndCarriesItsIconAndVersion)
{
    Utils::UniqueModule image(::LoadLibraryExW(Exe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(image);
    HRSRC manifest = ::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(image.get(), manifest)));
    const std::string text(bytes, ::SizeofResource(image.get(), manifest));
    EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(::FindResourceW(image.get(), MAKEINTRESOURCEW(145), MAKEINTRESOURCEW(14)), nullptr) << "icon group 145";
    EXPECT_NE(::FindResourceW(image.get(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr) << "version";
    image.reset();

    // Started by CreateProcessW like any launcher would: Wine grants the level and the
    // window comes up.
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    Click(main, kMain, L"closebtn", 0);
    HWND exitBox = WaitBox(L"ExitTipWnd");
    ASSERT_NE(exitBox, nullptr);
    Click(exitBox, L"ExitTipWnd.xml", L"okBtn");
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
}

// With a signer pin: a package signed by the pinned signer installs; one changed after
// signing (served with its own correct MD5) ends in the download-failure prompt, is never
// started and is deleted.
TEST_F(InstallerGuiTest, PinnedInstallSucceedsAndATamperedPackageEndsInTheDownloadPrompt)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    const std::string signedPackage = TestSupport::ReadFileBytes(SigningTest::Fixture(L"pkg-leafA.exe"));
    const std::string pin = "PackageSigner=" + Utf8(SigningTest::ThumbprintOf(L"rootA")) + "\r\n";
    m_server.AddBody("pkg.exe",
        std::make_shared<const std::string>(SigningTest::Changed(signedPackage, SigningTest::Change::CodeByte)));
    WriteSettings(false, pin);
    {
        HWND main = StartMain();
        ASSERT_NE(main, nullptr);
        const std::wstring folder = EditText(main);
        m_cleanup.push_back(folder);
        SetPackageScript(folder, "out State=Success\n");
        Click(main, kMain, L"defaultInstallBtn", 0);
        HWND tip = WaitBox(L"NetworkTipWnd");
        ASSERT_NE(tip, nullptr) << "a refused package is a failed download";
        Shot(tip, L"installer-prompt-signature-refused.png");
        EXPECT_FALSE(Utils::PathExists(PackageCommandLineFile())) << "never started";
        EXPECT_TRUE(WaitFor([&] { return !Utils::PathExists(folder + L"\\__Package_Vellumora.exe"); }, 5000));
        EXPECT_TRUE(ReadProductValue(L"InstallPath").empty()) << "nothing installed";
        m_installer.Kill();
    }
    m_server.AddBody("pkg.exe", std::make_shared<const std::string>(signedPackage));
    WriteSettings(false, pin);
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = EditText(main);
    Click(main, kMain, L"defaultInstallBtn", 0);
    WaitInstalled(folder);
    EXPECT_TRUE(Utils::PathExists(PackageCommandLineFile()));
    CloseFromFinishedPage(main);
}

// A DLL of each name the installer loads that is not a known DLL, put beside it and into the
// fixed-name work folder of earlier versions, with Wine told to prefer such files (as Windows
// searches): none is ever loaded, that folder is left alone, and a pinned install over an old
// version (removed through its uninstaller copied to the run's own work folder) still
// succeeds. The control program, without these
// precautions, loads the planted WTSAPI32.dll.
TEST_F(InstallerGuiTest, PlantedDllsBesideTheInstallerAreNeverLoaded)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    const std::wstring planted = TestSupport::BinDirectory() + L"\\planted";
    std::vector<std::wstring> names;
    for (std::string line : { TestSupport::ReadFileBytes(planted + L"\\names.txt") }) {
        for (std::size_t start = 0, end; start < line.size(); start = end + 1) {
            end = line.find('\n', start);
            end = end == std::string::npos ? line.size() : end;
            if (end > start) {
                names.emplace_back(
                    line.begin() + static_cast<std::ptrdiff_t>(start), line.begin() + static_cast<std::ptrdiff_t>(end));
            }
        }
    }
    ASSERT_GE(names.size(), 5u);
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring work = std::wstring(temp) + L"~TarvikTemp.92482B06FB471E17";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(work));
    for (const std::wstring& name : names) {
        for (const std::wstring& folder : { m_app, work }) {
            ASSERT_TRUE(::CopyFileW(
                (planted + L"\\" + name + L".dll").c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE));
        }
    }
    const std::wstring markers = m_root / L"markers";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(markers));
    // Native first for these names, as Windows searches for DLLs that are not known DLLs: Wine
    // reads this per program when it starts.
    const std::vector<std::wstring> programs
        = { L"VellumoraInstaller.exe", L"vlm_plant_control.exe", L"TarvikQuill_un_asa.exe" };
    for (const std::wstring& program : programs) {
        const std::wstring key = L"Software\\Wine\\AppDefaults\\" + program + L"\\DllOverrides";
        for (const std::wstring& name : names) {
            ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, L"native,builtin",
                          sizeof(L"native,builtin")),
                ERROR_SUCCESS);
        }
    }
    ::SetEnvironmentVariableW(L"VLM_PLANTED_MARKERS", markers.c_str());
    struct Restore {
        const std::vector<std::wstring>& programs;
        ~Restore()
        {
            for (const std::wstring& program : programs) {
                ::RegDeleteTreeW(HKEY_CURRENT_USER, (L"Software\\Wine\\AppDefaults\\" + program).c_str());
            }
            ::SetEnvironmentVariableW(L"VLM_PLANTED_MARKERS", nullptr);
        }
    } restore { programs };

    const std::wstring control = m_app + L"\\vlm_plant_control.exe";
    ASSERT_TRUE(::CopyFileW((planted + L"\\vlm_plant_control.exe").c_str(), control.c_str(), FALSE));
    InstallerProcess controlRun;
    ASSERT_TRUE(controlRun.Start(control));
    EXPECT_EQ(controlRun.WaitExit(10000), 0u);
    ASSERT_TRUE(Utils::PathExists(markers + L"\\wtsapi32.marker")) << "the control loads a planted DLL";
    ASSERT_TRUE(::DeleteFileW((markers + L"\\wtsapi32.marker").c_str()));

    const std::wstring existing = MakeExistingInstallation();
    const std::string signedPackage = TestSupport::ReadFileBytes(SigningTest::Fixture(L"pkg-leafA.exe"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(existing + L"\\uninst.ep", signedPackage)) << "a signed old uninstaller";
    m_server.AddBody("pkg.exe", std::make_shared<const std::string>(signedPackage));
    WriteSettings(false, "PackageSigner=" + Utf8(SigningTest::ThumbprintOf(L"leafA")) + "\r\n");
    SetPackageScript(existing, "out State=Success\n");
    HWND main = StartMain(L"-insnew=true");
    ASSERT_NE(main, nullptr);
    WaitInstalledOver(existing);
    EXPECT_TRUE(Utils::PathExists(m_uninstallerRecord)) << "the old version was removed first";
    for (const std::wstring& name : names) {
        EXPECT_FALSE(Utils::PathExists(markers + L"\\" + name + L".marker")) << Utf8(name) << " was loaded";
        EXPECT_TRUE(Utils::PathExists(work + L"\\" + name + L".dll")) << "the old fixed-name folder is never touched";
    }
    CloseFromFinishedPage(main);
}

namespace {

// Presses one key and waits until the focus lands on the named control.
::testing::AssertionResult KeyMovesFocusTo(AccessibleClient& client, WORD key, const std::wstring& name)
{
    GuiDriver::PressKeys({ key });
    if (WaitForFocus(client, name)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "focus did not reach " << Utf8(name);
}

// The installer starts with its window active; under Xvfb there is no window manager to make
// it so, so the test does what the desktop would.
void Activate(HWND window)
{
    ::SetForegroundWindow(window);
    ::SetFocus(window);
}

// WinEvents the installer raises, recorded out of context (delivered while this thread pumps).
struct WinEventLog {
    struct Entry {
        DWORD event;
        LONG object;
        LONG child;
    };
    static std::vector<Entry>& Entries()
    {
        static std::vector<Entry> entries;
        return entries;
    }
    static void CALLBACK Record(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD, DWORD)
    {
        Entries().push_back(Entry { event, object, child });
    }
    static bool Saw(DWORD event, LONG child)
    {
        for (const Entry& e : Entries()) {
            if (e.event == event && e.object == OBJID_CLIENT && e.child == child) {
                return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(InstallerGuiTest, KeyboardAloneInstallsWithOneClickFromTheStartPage)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = EditText(main);
    m_cleanup.push_back(folder);
    SetPackageScript(folder, "out State=Success\n");
    AccessibleClient client(main, m_installer.Handle());
    ASSERT_TRUE(client.Connected());
    Activate(main);
    ASSERT_TRUE(WaitForFocus(client, L"立即安装")) << "the start page starts on its install button";
    // Tab goes round every control of the page and comes back.
    for (const wchar_t* name : { L"自定义安装", L"最小化", L"关闭", L"立即安装" }) {
        ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, name));
    }
    GuiDriver::PressKeys({ VK_SHIFT, VK_TAB });
    ASSERT_TRUE(WaitForFocus(client, L"关闭")) << "Shift+Tab goes back";
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"立即安装"));
    GuiDriver::PressKeys({ VK_RETURN });
    WaitInstalled(folder);
    ASSERT_TRUE(WaitForFocus(client, L"立即体验")) << "the finished page starts on its button";
    GuiDriver::PressKeys({ VK_SPACE });
    EXPECT_EQ(m_installer.WaitExit(10000), 0u);
}

TEST_F(InstallerGuiTest, KeyboardAloneWalksTheCustomPageInOrderAndInstalls)
{
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = m_root / L"keyboard place\\Vellumora";
    SetPackageScript(folder, "out State=Success\n");
    AccessibleClient client(main, m_installer.Handle());
    ASSERT_TRUE(client.Connected());
    Activate(main);
    ASSERT_TRUE(WaitForFocus(client, L"立即安装"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"自定义安装"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_RETURN, L"立即安装")) << "the custom page starts on its install button";
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"最小化"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"关闭"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"安装路径"));
    // The folder edit selects its text on focus: typing replaces it.
    TypeText(folder);
    ASSERT_TRUE(WaitFor([&] { return EditText(main) == folder; }, 5000)) << Utf8(EditText(main));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"更改目录"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"创建桌面快捷方式"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"添加到快速启动栏"));
    GuiDriver::PressKeys({ VK_SPACE });
    ASSERT_TRUE(WaitFor([&] { return (client.Find(L"添加到快速启动栏").state & STATE_SYSTEM_CHECKED) == 0; }, 3000))
        << "Space clears the box";
    Shot(main, L"installer-page1-keyboard-focus.png");
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"返回"));
    ASSERT_TRUE(KeyMovesFocusTo(client, VK_TAB, L"立即安装"));
    GuiDriver::PressKeys({ VK_RETURN });

    WaitInstalled(folder);
    ExpectDesktopShortcutOnlyInto(folder);
    CloseFromFinishedPage(main);
}

TEST_F(InstallerGuiTest, AScreenReaderSeesEveryPageAndInstallsByDefaultActionsAlone)
{
    TestSupport::HttpFault slow;
    slow.method = "GET";
    slow.bytesPerSecond = 700 * 1024;
    m_server.SetStandingFault("pkg.exe", slow);
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    const std::wstring folder = EditText(main);
    m_cleanup.push_back(folder);
    SetPackageScript(
        folder, "out Progress=0.3\nflush\nsleep 700\nout Progress=0.8\nflush\nsleep 700\nout State=Success\n");
    AccessibleClient client(main, m_installer.Handle());
    ASSERT_TRUE(client.Connected());
    WinEventLog::Entries().clear();
    const std::unique_ptr<std::remove_pointer_t<HWINEVENTHOOK>, decltype(&::UnhookWinEvent)> hook(
        ::SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_VALUECHANGE, nullptr, &WinEventLog::Record, m_installer.Pid(),
            0, WINEVENT_OUTOFCONTEXT),
        &::UnhookWinEvent);
    ASSERT_NE(hook, nullptr);

    // What each page shows: layout name, accessible name, role, the page it is visible on, and
    // which of the children of that name and role it is (both install buttons are "立即安装").
    struct Expected {
        const wchar_t* control;
        const wchar_t* name;
        long role;
        int page; // -1: every page but the installing one
        int occurrence = 0;
    };
    const Expected table[] = {
        { L"defaultInstallBtn", L"立即安装", ROLE_SYSTEM_PUSHBUTTON, 0 },
        { L"customeBtn", L"自定义安装", ROLE_SYSTEM_LINK, 0 },
        { L"closebtn", L"关闭", ROLE_SYSTEM_PUSHBUTTON, -1 },
        { L"minbtn", L"最小化", ROLE_SYSTEM_PUSHBUTTON, -1 },
        { L"installDirEdit", L"安装路径", ROLE_SYSTEM_TEXT, 1 },
        { L"chDirBtn", L"更改目录", ROLE_SYSTEM_PUSHBUTTON, 1 },
        { L"createDSCb", L"创建桌面快捷方式", ROLE_SYSTEM_CHECKBUTTON, 1 },
        { L"customeInstallBtn", L"立即安装", ROLE_SYSTEM_PUSHBUTTON, 1, 1 },
        { L"installPrg", L"安装进度", ROLE_SYSTEM_PROGRESSBAR, 2 },
        { L"openProduceBtn", L"立即体验", ROLE_SYSTEM_PUSHBUTTON, 3 },
    };
    POINT origin {};
    ::ClientToScreen(main, &origin);
    auto checkPage = [&](int page) {
        const auto children = client.Children();
        for (const Expected& e : table) {
            SCOPED_TRACE(Utf8(e.control) + " on page " + std::to_string(page));
            const AccChild* found = nullptr;
            int seen = 0;
            for (const AccChild& child : children) {
                if (child.name == e.name && child.role == e.role && seen++ == e.occurrence) {
                    found = &child;
                }
            }
            ASSERT_NE(found, nullptr);
            const bool shown = e.page == page || (e.page == -1 && page != 2);
            EXPECT_EQ(found->Visible(), shown);
            if (!shown) {
                continue;
            }
            if (e.role != ROLE_SYSTEM_PROGRESSBAR) {
                EXPECT_NE(found->state & STATE_SYSTEM_FOCUSABLE, 0);
            }
            RECT expected = LayoutRect(kMain, e.control, page);
            ::OffsetRect(&expected, origin.x, origin.y);
            EXPECT_TRUE(::EqualRect(&expected, &found->screen))
                << found->screen.left << "," << found->screen.top << " vs " << expected.left << "," << expected.top;
        }
    };
    checkPage(0);
    EXPECT_NE(client.Find(L"返回").state & STATE_SYSTEM_INVISIBLE, 0) << "the back link shows on the custom page only";

    // The close button's prompt, answered the same way: it stays.
    ASSERT_EQ(client.DoDefaultAction(client.Find(L"关闭").id), S_OK);
    HWND box = WaitBox(L"ExitTipWnd");
    ASSERT_NE(box, nullptr);
    {
        AccessibleClient prompt(box, m_installer.Handle());
        ASSERT_TRUE(prompt.Connected());
        EXPECT_TRUE(prompt.Find(L"您确定要退出安装吗？").Visible());
        EXPECT_EQ(prompt.Find(L"退出").role, ROLE_SYSTEM_PUSHBUTTON);
        const AccChild stay = prompt.Find(L"继续安装");
        ASSERT_EQ(stay.role, ROLE_SYSTEM_PUSHBUTTON);
        ASSERT_EQ(prompt.DoDefaultAction(stay.id), S_OK);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 5000));
    }
    ASSERT_TRUE(::IsWindow(main));

    // The custom page and back, by default actions.
    ASSERT_EQ(client.DoDefaultAction(client.Find(L"自定义安装").id), S_OK);
    ASSERT_TRUE(WaitFor([&] { return client.Find(L"更改目录").Visible(); }, 3000));
    checkPage(1);
    ASSERT_EQ(client.DoDefaultAction(client.Find(L"返回").id), S_OK);
    ASSERT_TRUE(WaitFor([&] { return client.Find(L"自定义安装").Visible(); }, 3000));

    // The install, by the one-click button alone; the bar's value follows it.
    const long progressId = client.Find(L"安装进度").id;
    const long progressTextId = client.Find(L"正在安装中:0%，请稍候...").id;
    ASSERT_GT(progressTextId, 0);
    ASSERT_EQ(client.DoDefaultAction(client.Find(L"立即安装").id), S_OK);
    std::set<std::wstring> values;
    const bool finished = GuiDriver::PumpUntil(
        [&] {
            const AccChild bar = client.Find(L"安装进度");
            if (bar.Visible()) {
                values.insert(bar.value);
            }
            return client.Find(L"立即体验").Visible();
        },
        kInstallWaitMs);
    ASSERT_TRUE(finished);
    std::string seen;
    for (const auto& v : values) {
        seen += Utf8(v) + " ";
    }
    std::printf("progress values read: %s\n", seen.c_str());
    // Two readings at least, one between the ends: a loaded machine reads the bar seldom.
    EXPECT_GE(values.size(), 2u) << seen;
    EXPECT_TRUE(values.count(L"0%") + values.count(L"100%") < values.size()) << "values in between: " << seen;
    checkPage(3);
    GuiDriver::PumpUntil([] { return false; }, 200);
    EXPECT_TRUE(WinEventLog::Saw(EVENT_OBJECT_VALUECHANGE, progressId)) << "the bar announces its value";
    EXPECT_TRUE(WinEventLog::Saw(EVENT_OBJECT_NAMECHANGE, progressTextId)) << "and so does its text";
    EXPECT_TRUE(WinEventLog::Saw(EVENT_OBJECT_SHOW, CHILDID_SELF)) << "a new page shows";
    EXPECT_TRUE(WinEventLog::Saw(EVENT_OBJECT_FOCUS, client.Find(L"立即体验").id))
        << "the finish button takes the focus";
    // Closing ends the installer's process: under Wine the call's reply can be lost with it.
    const HRESULT closed = client.DoDefaultAction(client.Find(L"关闭").id);
    EXPECT_TRUE(closed == S_OK || closed == HRESULT_FROM_WIN32(RPC_S_CALL_FAILED)) << std::hex << closed;
    EXPECT_EQ(m_installer.WaitExit(10000), 0u) << "closebtn on the finished page closes without asking";
}

// An update that cannot get its package (or is stopped before the package starts) leaves the
// installed version alone: its uninstaller never runs, its files and record stay.
TEST_F(InstallerGuiTest, AnUpdateThatCannotGetItsPackageKeepsTheInstalledVersion)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    TestSupport::HttpFault corrupt;
    corrupt.method = "GET";
    corrupt.corrupt = true;
    TestSupport::HttpFault stall;
    stall.method = "GET";
    stall.stallAfter = 65536;
    stall.stallMs = 30000;
    const struct {
        const char* name;
        TestSupport::HttpFault fault;
        std::wstring arguments;
        bool stop;
    } cases[] = {
        { "MD5 fails", corrupt, L"", false },
        { "unreachable server", {}, L"-downloadurl=http://127.0.0.1:1/pkg.exe", false },
        { "refused by the pin", {}, L"-packagesigner=" + SigningTest::ThumbprintOf(L"rootA"), false },
        { "stopped during the download", stall, L"", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetStandingFault("pkg.exe", c.fault);
        const std::wstring existing = MakeExistingInstallation();
        ::DeleteFileW(m_uninstallerRecord.c_str());
        HWND main = StartMain(c.arguments);
        ASSERT_NE(main, nullptr);
        HWND tip = WaitBox(L"InstalledPathTipWnd");
        ASSERT_NE(tip, nullptr);
        Click(tip, L"InstalledPathTipWnd.xml", L"okBtn");
        if (c.stop) {
            ASSERT_TRUE(WaitFor([&] { return !m_server.Requests("GET").empty(); }, 10000));
            DWORD_PTR answer = 0;
            ::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &answer);
            ::SendMessageTimeoutW(main, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 10000, &answer);
            EXPECT_EQ(m_installer.WaitExit(10000), 0u);
        } else {
            HWND retry = WaitBox(L"NetworkTipWnd");
            ASSERT_NE(retry, nullptr) << "the download prompt, as for any failed download";
            Click(retry, L"NetworkTipWnd.xml", L"closebtn");
            ASSERT_TRUE(GuiDriver::WaitGone(retry, 5000));
        }
        EXPECT_FALSE(Utils::PathExists(m_uninstallerRecord)) << "the old uninstaller never ran";
        EXPECT_TRUE(Utils::PathExists(existing + L"\\uninst.ep"));
        EXPECT_TRUE(Utils::PathExists(existing + L"\\Quorvel.exe"));
        EXPECT_EQ(ReadProductValue(L"InstallPath"), existing);
        m_installer.Kill();
    }
}

// The update's order, from the children's own stamps: the old uninstaller after the download,
// the package after the uninstaller has ended, from the install folder; the bar, read by a
// screen reader, never moves back.
TEST_F(InstallerGuiTest, AnUpdateRemovesTheOldVersionAfterTheDownloadAndTheBarNeverGoesBack)
{
    TestSupport::HttpFault slow;
    slow.method = "GET";
    slow.bytesPerSecond = 700 * 1024;
    m_server.SetStandingFault("pkg.exe", slow);
    const std::wstring stamps = m_root / L"stamps.txt";
    const std::wstring existing = MakeExistingInstallation(
        "out Progress=0.5\nflush\nsleep 500\nstamp " + ScriptText(stamps) + "\nout State=Success\nflush\nsleep 500\n");
    SetPackageScript(existing,
        "stamp " + ScriptText(stamps)
            + "\nout Progress=0.3\nflush\nsleep 500\nout Progress=0.8\nflush\nsleep 500\nout State=Success\n");
    HWND main = StartMain();
    ASSERT_NE(main, nullptr);
    HWND tip = WaitBox(L"InstalledPathTipWnd");
    ASSERT_NE(tip, nullptr);
    Click(tip, L"InstalledPathTipWnd.xml", L"okBtn");

    AccessibleClient client(main, m_installer.Handle());
    ASSERT_TRUE(client.Connected());
    const long barId = client.Find(L"安装进度").id;
    ASSERT_GT(barId, 0);
    std::vector<int> seen;
    bool removalSeen = false;
    std::size_t getsWhenRemoved = 0;
    // Polled, not pumped: a screen reader that asks without pause starves the window of its
    // posted reports.
    const bool finished = WaitFor(
        [&] {
            const std::wstring value = client.Value(barId);
            if (!value.empty()) {
                const int percent = std::stoi(value);
                if (seen.empty() || seen.back() != percent) {
                    seen.push_back(percent);
                }
            }
            if (!removalSeen && Utils::PathExists(m_uninstallerRecord)) {
                removalSeen = true;
                getsWhenRemoved = m_server.Requests("GET").size();
            }
            return ReadProductValue(L"UnInstallEp") == existing + L"\\uninst.ep";
        },
        kInstallWaitMs);
    ASSERT_TRUE(finished);
    std::string values;
    for (int v : seen) {
        values += std::to_string(v) + " ";
    }
    std::printf("progress values read: %s\n", values.c_str());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end())) << values;
    EXPECT_GE(seen.size(), 3u) << values;
    EXPECT_GE(getsWhenRemoved, 1u) << "the download had begun before the removal";

    const std::string order = TestSupport::ReadFileBytes(stamps);
    const std::size_t removal = order.find("TarvikQuill_un_asa.exe ");
    ASSERT_NE(removal, std::string::npos) << order;
    EXPECT_LT(removal, order.find("__Package_Vellumora.exe ")) << order;
    // Run from the run's own work folder, told the install folder through its options.
    const std::wstring packageLine = ReadUtf16File(PackageCommandLineFile());
    EXPECT_NE(packageLine.find(L"\\TarvikRun."), std::wstring::npos);
    EXPECT_NE(packageLine.find(L"\\__Package_Vellumora.exe\" /S"), std::wstring::npos);
    EXPECT_NE(packageLine.find(L" -instdir=\"" + existing + L"\""), std::wstring::npos);
    CloseFromFinishedPage(main);
}

// Without a verdict line, only status 0 is a success: the package's failure prompt (no
// record), or the removal's (the installed version kept).
TEST_F(InstallerGuiTest, WithoutAVerdictLineOnlyStatusZeroSucceeds)
{
    const struct {
        const char* name;
        const char* package;
        const char* uninstaller; // nullptr: a fresh install
        const wchar_t* prompt;
    } cases[] = {
        { "package status 3", "exit 3\n", nullptr, L"MessageBox2Wnd" },
        { "package crash", "exit 0xC0000005\n", nullptr, L"MessageBox2Wnd" },
        { "uninstaller status 3", "out State=Success\n", "exit 3\n", L"MessageBox1Wnd" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteProductKey();
        ::DeleteFileW(PackageCommandLineFile().c_str());
        std::wstring folder = m_root / L"fresh";
        HWND main = nullptr;
        if (c.uninstaller) {
            folder = MakeExistingInstallation(c.uninstaller);
            SetPackageScript(folder, c.package);
            main = StartMain();
            ASSERT_NE(main, nullptr);
            HWND tip = WaitBox(L"InstalledPathTipWnd");
            ASSERT_NE(tip, nullptr);
            Click(tip, L"InstalledPathTipWnd.xml", L"okBtn");
        } else {
            SetPackageScript(folder, c.package);
            main = StartMain();
            ASSERT_NE(main, nullptr);
            StartCustomInstall(main, folder);
        }
        HWND box = WaitBox(c.prompt);
        ASSERT_NE(box, nullptr);
        Click(box, std::wstring(c.prompt) + L".xml", L"closebtn");
        if (c.uninstaller) {
            EXPECT_EQ(m_installer.WaitExit(10000), 0u);
            EXPECT_EQ(ReadProductValue(L"InstallPath"), folder) << "the installed version keeps its record";
            EXPECT_FALSE(Utils::PathExists(PackageCommandLineFile())) << "the package never ran";
        } else {
            ASSERT_TRUE(GuiDriver::WaitGone(box, 5000));
            EXPECT_TRUE(ReadProductValue(L"InstallPath").empty()) << "nothing recorded";
            EXPECT_TRUE(Utils::PathExists(PackageCommandLineFile())) << "the package ran";
        }
        m_installer.Kill();
    }
}
