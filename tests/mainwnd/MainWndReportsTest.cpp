// The main window of this process fed with stage reports the way the pipeline sends them
// (posted WM_STAGE_REPORT), its prompts answered from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "GuiDriver.h"
#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "session/SessionRun.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "toolkit/Progress.h"
#include "ui/CMainWnd.h"
#include "session/StageReport.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

namespace {

// Closes the first prompt of class className that appears (as the system would: result 1).
class PromptCloser {
public:
    explicit PromptCloser(const wchar_t* className)
        : m_thread([this, className] {
            const DWORD start = ::GetTickCount();
            while (::GetTickCount() - start < 10000) {
                if (HWND box = ::FindWindowW(className, nullptr); box && ::IsWindowVisible(box)) {
                    ::PostMessageW(box, WM_CLOSE, 0, 0);
                    m_closed = true;
                    return;
                }
                ::Sleep(20);
            }
        })
    {
    }
    ~PromptCloser() { m_thread.join(); }
    bool Closed() const { return m_closed; }

private:
    std::atomic<bool> m_closed { false };
    std::thread m_thread;
};

// A package server whose download is still going when the window goes; no earlier
// installation.
struct SlowDownload {
    explicit SlowDownload(bool checkNet)
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
        server.AddBody("pkg.exe", TestSupport::MakeBody(1536 * 1024));
        TestSupport::HttpFault slow;
        slow.method = "GET";
        slow.bytesPerSecond = 64 * 1024;
        server.SetStandingFault("pkg.exe", slow);
        settings.downloadUrl = TestSupport::WideUrl(server.FileUrl("pkg.exe"));
        settings.checkNetwork = checkNet;
    }

    TestSupport::HttpTestServer server;
    Config::RunSettings settings;
};

} // namespace

TEST(MainWindowReports, InstallFailureResetsTheBarOnlyAbove69)
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    struct Case {
        double download;
        int bar;
        const wchar_t* text;
    };
    for (const Case& c :
        { Case { 0.99, 69, L"正在安装中:69%，请稍候..." }, Case { 1.0, 0, L"正在安装中:0%，请稍候..." } }) {
        SCOPED_TRACE(c.bar);
        Session::SessionRun run({});
        CMainWnd window(run);
        ASSERT_TRUE(window.Create(nullptr, L"Vellumora", WS_OVERLAPPEDWINDOW, 0));
        auto* bar = window.FindControlAs<Toolkit::CProgressUI>(L"installPrg", L"Progress");
        Toolkit::CControlUI* text = window.FindControl(L"progressLb");
        ASSERT_TRUE(bar && text);

        ASSERT_TRUE(PostStageReport(run.ReportWindow(), 1001, 0.0, L""));
        ASSERT_TRUE(PostStageReport(run.ReportWindow(), 1002, c.download, L""));
        ASSERT_TRUE(PostStageReport(run.ReportWindow(), 2004, 0.0, L"boom"));
        PromptCloser closer(L"MessageBox2Wnd");
        ASSERT_TRUE(GuiDriver::PumpUntil([&] { return closer.Closed(); }, 15000));
        EXPECT_EQ(bar->GetValue(), c.bar);
        EXPECT_EQ(text->GetText(), c.text);
        ::DestroyWindow(window);
    }
}

TEST(MainWindowReports, EveryRecordIsFreedAndARunningInstallRefusesToClose)
{
    SlowDownload download(false);
    ASSERT_TRUE(download.server.Running());
    TestSupport::TempDir root(L"closing");

    auto run = std::make_unique<Session::SessionRun>(download.settings);
    const HWND reports = run->ReportWindow();
    auto owned = std::make_unique<CMainWnd>(*run);
    CMainWnd& window = *owned;
    ASSERT_TRUE(window.Create(nullptr, L"Vellumora", WS_OVERLAPPEDWINDOW, 0));
    auto* tabs = window.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    ASSERT_NE(tabs, nullptr);
    window.StartInstall(root / L"target", true, true);
    ASSERT_TRUE(GuiDriver::PumpUntil([&] { return tabs->GetCurSel() == CMainWnd::kInstallingPage; }, 10000));
    // Codes without an action and an unknown code; then a close request.
    for (int code : { 1003, 1006, 3002, 4242 }) {
        ASSERT_TRUE(PostStageReport(reports, code, 0.5, L"x"));
    }
    ::PostMessageW(window, WM_CLOSE, 1, 0);
    GuiDriver::PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(::IsWindow(window)) << "no closing half-way through an install";
    MSG msg;
    EXPECT_FALSE(::PeekMessageW(&msg, reports, WM_STAGE_REPORT, WM_STAGE_REPORT, PM_NOREMOVE));

    // Reports still queued when the run ends are freed with it.
    owned.reset();
    ASSERT_TRUE(PostStageReport(reports, 1002, 0.5, L""));
    run.reset(); // stops the download and joins its threads
    EXPECT_FALSE(::PeekMessageW(&msg, nullptr, WM_STAGE_REPORT, WM_STAGE_REPORT, PM_NOREMOVE));
}

TEST(MainWindowInstall, APoorNetworkIsToldButTheInstallStartsOnce)
{
    SlowDownload download(true);
    ASSERT_TRUE(download.server.Running());
    TestSupport::HttpTestServer& server = download.server;
    TestSupport::TempDir root(L"checknet");

    Session::SessionRun run(download.settings);
    CMainWnd window(run);
    ASSERT_TRUE(window.Create(nullptr, L"Vellumora", WS_OVERLAPPEDWINDOW, 0));
    auto* tabs = window.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    ASSERT_NE(tabs, nullptr);
    window.StartInstall(root / L"target", true, true);
    // The machine's own check runs on its thread; a poor result is added as the thread
    // would send it. Two answers must still start one install.
    window.GetPaintManager().SendNotify(window.GetPaintManager().GetRoot(), L"checknet", 0x20001, 0, true);
    PromptCloser closer(L"MessageBox2Wnd");
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return closer.Closed(); }, 15000)) << "the poor-network message";
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return tabs->GetCurSel() == CMainWnd::kInstallingPage; }, 10000));
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return server.Requests("GET").size() == 1; }, 10000));
    GuiDriver::PumpUntil([] { return false; }, 500);
    EXPECT_EQ(server.Requests("GET").size(), 1u) << "one download, however many checks answered";
    ::DestroyWindow(window); // the run stops the download and joins its threads when it goes
}

TEST(MainWindowReports, FinishRecordsThenComesForwardAndClosesByItself)
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    TestSupport::TempDir folder(L"finished");
    Session::SessionRun run({});
    const HWND reports = run.ReportWindow();
    CMainWnd window(run);
    ASSERT_TRUE(window.Create(nullptr, L"Vellumora", WS_OVERLAPPEDWINDOW, 0));
    window.ShowWindow(true, false);
    GuiDriver::Backdrop other; // something else in front until the timer fires
    HWND front = ::CreateWindowExW(
        0, L"STATIC", L"front", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
    ::SetForegroundWindow(front);

    // Paths from a package that ends its lines with "\r\n" are recorded without the "\r".
    ASSERT_TRUE(TestSupport::WriteFileBytes(folder / L"uninst.ep", "x"));
    ASSERT_TRUE(PostStageReport(reports, 3000, 0.0, folder.Path() + L"\r"));
    ASSERT_TRUE(PostStageReport(reports, 3003, 0.0, folder / L"uninst.ep\r"));
    ASSERT_TRUE(PostStageReport(reports, 3000, 0.0, L"")); // ignored: the folder stays
    ASSERT_TRUE(PostStageReport(reports, 3007, 150.0, L""));
    ASSERT_TRUE(PostStageReport(reports, 3008, 1200.0, L""));
    ASSERT_TRUE(PostStageReport(reports, 3011, 0.0, L"")); // the computer must restart
    ASSERT_TRUE(PostStageReport(reports, 2003, 0.0, L""));
    Toolkit::CControlUI* restart = window.FindControl(L"restartLbl");
    ASSERT_NE(restart, nullptr);
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return restart->IsVisible(); }, 5000)) << "the finished page says so";
    EXPECT_EQ(restart->GetText(), L"请重新启动电脑以完成安装");
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return ::GetForegroundWindow() == window.GetHWND(); }, 5000));
    EXPECT_TRUE(GuiDriver::PumpUntil([&] { return !::IsWindow(window.GetHWND()); }, 8000)) << "auto-close";
    ::DestroyWindow(front);

    DWORD type = 0;
    std::wstring recorded;
    EXPECT_TRUE(Utils::ReadRegistryString(Utils::RecordRoot::User, L"InstallPath", type, recorded));
    EXPECT_EQ(recorded, folder.Path());
    EXPECT_TRUE(Utils::ReadRegistryString(Utils::RecordRoot::User, L"UnInstallEp", type, recorded));
    EXPECT_EQ(recorded, folder / L"uninst.ep");
    wchar_t appName[32] = {};
    ::GetPrivateProfileStringW(L"Install", L"AppName", L"", appName, 32, (folder / L"set.ini").c_str());
    EXPECT_STREQ(appName, L"Vellumora");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
}
