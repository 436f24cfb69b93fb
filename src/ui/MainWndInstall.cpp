// The way into an install: the existing-installation prompt, the checks of StartInstall,
// the network check and the folder chooser.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "config/InstallerConfig.h"
#include "config/Language.h"
#include "pipeline/DownloadInstaller.h"
#include "ui/CMainWnd.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/InstallFolders.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/HardDiskManager.h"
#include "utils/Log.h"
#include "utils/Processes.h"
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
    if (m_languageCombo) {
        const int index = Utils::LoadLanguageFromConfig(m_languageTexts, m_existingFolder);
        m_languageCombo->SelectItem(index);
    }
    if (Utils::FindProcessIdByName(L"Quorvel.exe") != 0 && !config.InsNew) {
        ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"),
            LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
        Close(1);
        return;
    }
    if (config.InsNew) {
        StartInstall(m_existingFolder, true, true);
        return;
    }
    switch (ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"InstalledPathTipWnd.xml"))) {
    case 0:
        StartInstall(m_existingFolder, true, true);
        break;
    case 1: {
        m_productExePath = m_existingFolder + L"\\Quorvel.exe";
        const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
            m_hwnd, L"open", m_productExePath.c_str(), nullptr, m_existingFolder.c_str(), SW_SHOWNORMAL));
        if (result <= 32) {
            LOG(L"could not start %s: %d\r\n", m_productExePath.c_str(), static_cast<int>(result));
        }
        Close(1);
        break;
    }
    default:
        Close(1);
        break;
    }
}

bool CMainWnd::StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch)
{
    const InstallerConfig& config = TheInstallerConfig();
    const FrameParams runningBox = FrameParams::ForSkinFile(L"MessageBox1Wnd.xml");
    if (Utils::FindProcessIdByName(L"TarvikQuill_un_asa.exe") != 0 && !config.InsNew) {
        ShowMessageBox(
            m_hwnd, runningBox, LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
        if (m_hasExistingInstallation) {
            Close(1);
        }
        return false;
    }
    if (Utils::FindProcessIdByName(L"Quorvel.exe") != 0 && !config.InsNew) {
        ShowMessageBox(
            m_hwnd, runningBox, LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
        Close(1);
        return false;
    }
    if (m_customeInstallBtn) {
        m_customeInstallBtn->SetEnabled(false);
    }
    const FrameParams refusalBox = FrameParams::ForSkinFile(L"MessageBox2Wnd.xml");
    if (!IsUsableInstallFolder(path)) {
        LOG(L"invalid install folder '%s'\r\n", path.c_str());
        ShowMessageBox(
            m_hwnd, refusalBox, LocalText(UiTexts::kInvalidPath).c_str(), LocalText(UiTexts::kNotice).c_str());
        SendInstallNotify(false, false);
        return false;
    }
    if (Utils::FreeGigabytesForFolder(path) < 1.0) {
        ShowMessageBox(
            m_hwnd, refusalBox, LocalText(UiTexts::kLowDiskSpace).c_str(), LocalText(UiTexts::kNotice).c_str());
        SendInstallNotify(false, false);
        return false;
    }
    if (!m_pipeline) {
        return false;
    }
    m_installFolder = path;
    const std::wstring oldUninstaller
        = KeepsExistingVersion(m_existingFolder, path) ? std::wstring() : m_existingUninstaller;
    LOG(L"install into '%s', old uninstaller '%s'\r\n", path.c_str(), oldUninstaller.c_str());
    m_pipeline->SetParams(config.DownloadUrl, m_existingFolder, oldUninstaller, path, desktopShortcut, quickLaunch,
        m_consoleUserIsAdmin, m_processIsAdmin, InstallLanguageCode());
    if (config.IsCheckNet) {
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
        if (CurrentPage() == kInstallingPage) {
            // A second request for a run already going (a double click, two checks).
            LOG(L"install already running\r\n");
        } else if (m_pipeline) {
            m_startPage = CurrentPage();
            SelectPage(kInstallingPage);
            m_pipeline->Start();
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
