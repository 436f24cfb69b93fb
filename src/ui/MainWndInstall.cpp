#include "ui/MainWndInstall.h"

#include <objbase.h>
#include <shlobj.h>

#include "session/InstallFolders.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/UiTexts.h"
#include "utils/Log.h"
#include "utils/SystemProbes.h"
#include "utils/Thread.h"
#include "utils/UniqueResource.h"

namespace {

struct CoTaskMemTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::CoTaskMemFree(p); }
};

} // namespace

MainWndInstall::MainWndInstall(Toolkit::WindowImplBase& frame, MainWndPages& pages, Session::SessionRun& run)
    : m_frame(frame)
    , m_pages(pages)
    , m_run(run)
    , m_session(run.Install())
{
}

MainWndInstall::~MainWndInstall()
{
    StopNetworkCheck();
}

void MainWndInstall::StopNetworkCheck()
{
    if (m_networkCheck) {
        m_networkCheck->Join();
        m_networkCheck.reset();
    }
}

std::wstring MainWndInstall::DefaultInstallDir()
{
    return m_session.DefaultFolder();
}

std::wstring MainWndInstall::CustomInstallDir()
{
    const std::wstring defaultFolder = DefaultInstallDir();
    const std::wstring typed = m_pages.TypedFolder();
    return IsSameFolder(defaultFolder, typed) ? defaultFolder : typed;
}

void MainWndInstall::RunExistingInstallationPrompt()
{
    const std::wstring existingFolder = m_session.Existing().folder;
    if (auto refusal = m_session.RefuseWhileProductRuns()) {
        ShowRefusal(*refusal);
        return;
    }
    if (!m_session.AsksAboutExistingInstallation()) {
        StartInstall(existingFolder, true, true);
        return;
    }
    switch (ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"InstalledPathTipWnd.xml"))) {
    case 0:
        StartInstall(existingFolder, true, true);
        break;
    case 1:
        m_run.Post({ Session::Intent::Kind::OpenExisting });
        m_frame.Close(1);
        break;
    default:
        m_frame.Close(1);
        break;
    }
}

void MainWndInstall::ShowRefusal(const Session::Outcome& refusal)
{
    const bool folderRefused
        = refusal.verdict == Session::Verdict::InvalidFolder || refusal.verdict == Session::Verdict::LowDiskSpace;
    if (!folderRefused) {
        ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"),
            LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
        // Nothing can be done while the product runs; a running old uninstaller only ends
        // an update of the existing installation.
        if (!refusal.oldUninstallerRunning || HasExistingInstallation()) {
            m_frame.Close(1);
        }
        return;
    }
    // The user may pick another folder once the prompt is answered.
    m_pages.EnableCustomInstall(false);
    const UiText& text
        = refusal.verdict == Session::Verdict::InvalidFolder ? UiTexts::kInvalidPath : UiTexts::kLowDiskSpace;
    ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"), LocalText(text).c_str(),
        LocalText(UiTexts::kNotice).c_str());
    SendInstallNotify(false, false);
}

void MainWndInstall::StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch)
{
    m_run.Post(
        { Session::Intent::Kind::Install, { path, desktopShortcut, quickLaunch, m_pages.InstallLanguageCode() } });
}

void MainWndInstall::Confirm()
{
    m_pages.EnableCustomInstall(false);
    if (m_session.Settings().checkNetwork) {
        StartNetworkCheck();
    } else {
        SendInstallNotify(true, true);
    }
}

void MainWndInstall::Retry(int startPage)
{
    if (startPage == MainWndPages::kStartPage) {
        StartInstall(DefaultInstallDir(), true, true);
    } else {
        StartInstall(CustomInstallDir(), m_pages.DesktopShortcut(), m_pages.QuickLaunch());
    }
}

void MainWndInstall::SendInstallNotify(bool start, bool async)
{
    Toolkit::PaintManager& manager = m_frame.GetPaintManager();
    manager.SendNotify(manager.GetRoot(), L"install", start ? 1 : 0, 0, async);
}

void MainWndInstall::StartNetworkCheck()
{
    Toolkit::PaintManager* manager = &m_frame.GetPaintManager();
    Toolkit::CControlUI* root = manager->GetRoot();
    // The previous check, if any, is joined first: at most one runs.
    Utils::StartOwnedThread(m_networkCheck, this, L"ABDEF", [manager, root](void*) -> unsigned {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        const std::uint32_t result = Utils::CheckNetwork();
        LOG(L"network check 0x%08X\r\n", static_cast<unsigned>(result));
        // Queued: delivered on the window's thread.
        manager->SendNotify(root, L"checknet", result, 0, true);
        if (SUCCEEDED(com)) {
            ::CoUninitialize();
        }
        return 0;
    });
}

void MainWndInstall::OnCheckNet(WPARAM result)
{
    if (result > 0xFFFF) {
        ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"),
            LocalText(UiTexts::kPoorNetwork).c_str(), LocalText(UiTexts::kNotice).c_str());
    }
    // The system's verdict on internet access is often wrong (proxies, captive-portal
    // probes blocked): warn, but let the download itself decide.
    SendInstallNotify(true, false);
}

void MainWndInstall::OnInstall(WPARAM start)
{
    if (start != 0) {
        m_run.Post({ Session::Intent::Kind::Apply });
    }
    m_pages.EnableCustomInstall(true);
}

void MainWndInstall::Started()
{
    m_startPage = m_pages.CurrentPage();
    m_pages.SelectPage(MainWndPages::kInstallingPage);
}

void MainWndInstall::ChooseFolder()
{
    // The new dialog style needs COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Utils::ScopeExit uninit([com] {
        if (SUCCEEDED(com)) {
            ::CoUninitialize();
        }
    });
    BROWSEINFOW info {};
    info.hwndOwner = m_frame.GetHWND();
    const std::wstring title = LocalText(UiTexts::kChooseFolder);
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    Utils::UniqueResource<CoTaskMemTraits> chosen(::SHBrowseForFolderW(&info));
    if (!chosen) {
        return;
    }
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), folder)) {
        m_pages.SetFolder(JoinFolder(folder, L"TarvikQuill"));
    }
}
