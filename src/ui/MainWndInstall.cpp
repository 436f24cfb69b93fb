// The way into an install: the existing-installation prompt, the checks of StartInstall,
// the network check and the folder chooser.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "config/InstallerConfig.h"
#include "config/Language.h"
#include "session/InstallFolders.h"
#include "ui/CMainWnd.h"
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

void CMainWnd::RunExistingInstallationPrompt()
{
    const InstallerConfig& config = TheInstallerConfig();
    const std::wstring existingFolder = m_session->Existing().folder;
    if (m_languageCombo) {
        const int index = Utils::LoadLanguageFromConfig(m_languageTexts, existingFolder, m_languageCombo->GetCurSel());
        m_languageCombo->SelectItem(index);
    }
    if (auto refusal = m_session->RefuseWhileProductRuns()) {
        ShowRefusal(*refusal);
        return;
    }
    if (config.InsNew) {
        StartInstall(existingFolder, true, true);
        return;
    }
    switch (ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"InstalledPathTipWnd.xml"))) {
    case 0:
        StartInstall(existingFolder, true, true);
        break;
    case 1: {
        const std::wstring product = existingFolder + L"\\Quorvel.exe";
        const auto result = reinterpret_cast<INT_PTR>(
            ::ShellExecuteW(m_hwnd, L"open", product.c_str(), nullptr, existingFolder.c_str(), SW_SHOWNORMAL));
        if (result <= 32) {
            LOG(L"could not start %s: %d\r\n", product.c_str(), static_cast<int>(result));
        }
        Close(1);
        break;
    }
    default:
        Close(1);
        break;
    }
}

void CMainWnd::ShowRefusal(const Session::Outcome& refusal)
{
    const bool folderRefused
        = refusal.verdict == Session::Verdict::InvalidFolder || refusal.verdict == Session::Verdict::LowDiskSpace;
    if (!folderRefused) {
        ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"),
            LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
        // Nothing can be done while the product runs; a running old uninstaller only ends
        // an update of the existing installation.
        if (!refusal.oldUninstallerRunning || HasExistingInstallation()) {
            Close(1);
        }
        return;
    }
    // The user may pick another folder once the prompt is answered.
    if (m_customeInstallBtn) {
        m_customeInstallBtn->SetEnabled(false);
    }
    const UiText& text
        = refusal.verdict == Session::Verdict::InvalidFolder ? UiTexts::kInvalidPath : UiTexts::kLowDiskSpace;
    ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"), LocalText(text).c_str(),
        LocalText(UiTexts::kNotice).c_str());
    SendInstallNotify(false, false);
}

bool CMainWnd::StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch)
{
    if (!m_session) {
        return false;
    }
    const Session::InstallRequest request { path, desktopShortcut, quickLaunch, InstallLanguageCode() };
    if (auto refusal = m_session->Prepare(request)) {
        ShowRefusal(*refusal);
        return false;
    }
    if (m_customeInstallBtn) {
        m_customeInstallBtn->SetEnabled(false);
    }
    if (TheInstallerConfig().IsCheckNet) {
        StartNetworkCheck();
    } else {
        SendInstallNotify(true, true);
    }
    return true;
}

void CMainWnd::StartNetworkCheck()
{
    Toolkit::PaintManager* manager = &m_pm;
    Toolkit::CControlUI* root = m_pm.GetRoot();
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

void CMainWnd::OnCheckNet(WPARAM result)
{
    if (result > 0xFFFF) {
        ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"),
            LocalText(UiTexts::kPoorNetwork).c_str(), LocalText(UiTexts::kNotice).c_str());
    }
    // The system's verdict on internet access is often wrong (proxies, captive-portal
    // probes blocked): warn, but let the download itself decide.
    SendInstallNotify(true, false);
}

void CMainWnd::OnInstall(WPARAM start)
{
    if (start != 0) {
        if (!m_session || m_session->CurrentState() != Session::InstallSession::State::Prepared) {
            // A second request for a run already going (a double click, two checks).
            LOG(L"install already running\r\n");
        } else {
            m_startPage = CurrentPage();
            SelectPage(kInstallingPage);
            m_session->Start();
        }
    }
    if (m_customeInstallBtn) {
        m_customeInstallBtn->SetEnabled(true);
        // Disabling it took the keyboard focus away; a refused install gives it back.
        if (CurrentPage() == kCustomPage && !m_pm.GetFocus()) {
            m_customeInstallBtn->SetFocus();
        }
    }
}

void CMainWnd::ChooseFolder()
{
    // The new dialog style needs COM on this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    Utils::ScopeExit uninit([com] {
        if (SUCCEEDED(com)) {
            ::CoUninitialize();
        }
    });
    BROWSEINFOW info {};
    info.hwndOwner = m_hwnd;
    const std::wstring title = LocalText(UiTexts::kChooseFolder);
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE;
    Utils::UniqueResource<CoTaskMemTraits> chosen(::SHBrowseForFolderW(&info));
    if (!chosen) {
        return;
    }
    wchar_t folder[MAX_PATH] = {};
    if (::SHGetPathFromIDListW(static_cast<PCIDLIST_ABSOLUTE>(chosen.get()), folder) && m_installDirEdit) {
        m_installDirEdit->SetText(JoinFolder(folder, L"TarvikQuill"));
    }
}

void CMainWnd::OpenTerms()
{
    const std::wstring url = Config::RedirectEndpoint() + L"/redirect/ver1/quorvel/terms/1.0/installer/123456";
    ::ShellExecuteW(m_hwnd, L"open", url.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
}
