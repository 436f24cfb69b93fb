// The pipeline's reports on the window: progress, prompts, the finished page, recording
// the installation and starting the product.
#include <windows.h>
#include <shellapi.h>

#include <cmath>
#include <memory>

#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "toolkit/SkinArchive.h"
#include "ui/CMainWnd.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/InstallFolders.h"
#include "ui/InstallRecord.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"

DWORD DelayFromReport(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 4294967295.0) {
        return 0xFFFFFFFF;
    }
    if (value <= -2147483648.0) {
        return 0x80000000;
    }
    // Negative values wrap as an integer conversion would: -1 means "never".
    return value < 0 ? static_cast<DWORD>(static_cast<long long>(value)) : static_cast<DWORD>(value);
}

void CMainWnd::OnStageReport(StageReport* raw)
{
    std::unique_ptr<StageReport> report(raw); // ours, whatever the code
    if (!report) {
        return;
    }
    const std::wstring& message = report->message;
    switch (report->code) {
    case Download::DL_CODE_START:
        m_stopwatch.Start(::GetTickCount());
        break;
    case Download::DL_CODE_PROGRESS:
        ShowProgress(m_progress.DownloadPercent(report->progress));
        break;
    case Download::DL_CODE_FAIL:
        OnDownloadFailed();
        break;
    case IST_CODE_START:
        WriteStateFiles(m_installFolder, InstallerFileName());
        break;
    case IST_CODE_PROGRESS:
        ShowProgress(m_progress.InstallPercent(report->progress));
        break;
    case IST_CODE_SUCCESS:
        OnInstallSucceeded();
        break;
    case IST_CODE_FAIL:
        OnInstallFailed(message);
        break;
    case IST_CODE_INST_PATH:
        // An empty report would record nothing and put set.ini at the drive's root.
        if (!ReportedPathValue(message).empty()) {
            m_installFolder = ReportedPathValue(message);
        }
        break;
    case IST_CODE_EXE_PATH:
        m_productExePath = ReportedPathValue(message);
        break;
    case IST_CODE_UNINST_EP:
        m_reportedUninstaller = ReportedPathValue(message);
        break;
    case IST_CODE_START_URL:
        m_startUrl = ReportedPathValue(message);
        break;
    case IST_CODE_STARTUP_STYLE:
        m_startupStyle = std::isfinite(report->progress) && std::fabs(report->progress) < 2147483647.0
            ? static_cast<int>(report->progress)
            : 0;
        break;
    case IST_CODE_TOP_SHOW_DETENTION:
        m_topShowDelay = DelayFromReport(report->progress);
        break;
    case IST_CODE_FINISH_CLOSE_DETENTION:
        m_autoCloseDelay = DelayFromReport(report->progress);
        break;
    case IST_CODE_MESSAGE:
        // The package's own text, as it wrote it.
        ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"), message.c_str(),
            LocalText(UiTexts::kPackageMessage).c_str());
        break;
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
        OnOldVersionRemovalFailed();
        break;
    default:
        break;
    }
}

void CMainWnd::ShowProgress(int percent)
{
    const std::wstring pattern = m_progressLb ? m_progressLb->GetUserData() : std::wstring();
    const std::wstring text = InstallProgress::Text(pattern, percent, m_stopwatch.ElapsedSeconds(::GetTickCount()));
    if (m_progressLb) {
        m_progressLb->SetText(text);
    }
    if (m_installPrg) {
        m_installPrg->SetValue(percent);
    }
}

void CMainWnd::ResetProgress()
{
    if (m_installPrg && m_installPrg->GetValue() > 69) {
        if (m_progressLb) {
            m_progressLb->SetText(LocalText(UiTexts::kProgressStart));
        }
        m_installPrg->SetValue(0);
    }
}

void CMainWnd::OnDownloadFailed()
{
    const int result = ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"NetworkTipWnd.xml"));
    const int startPage = m_startPage;
    if (result == 0) {
        if (startPage == kStartPage) {
            StartInstall(DefaultInstallDir(), true, true);
        } else {
            StartInstall(CustomInstallDir(), m_createDSCb && m_createDSCb->IsSelected(),
                m_createQSCb && m_createQSCb->IsSelected());
        }
    } else if (result == 1 && m_hasExistingInstallation) {
        Close(1);
    }
    // A retry that passed its checks moves to the installing page when its queued
    // "install" arrives.
    SelectPage(startPage);
}

void CMainWnd::OnInstallFailed(const std::wstring& message)
{
    // The package's "Error=" text is shown as the package wrote it.
    const std::wstring text = message.empty() ? LocalText(UiTexts::kInstallFailed) : message;
    ShowMessageBox(
        m_hwnd, FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"), text.c_str(), LocalText(UiTexts::kNotice).c_str());
    ResetProgress();
    SelectPage(kStartPage);
}

void CMainWnd::OnOldVersionRemovalFailed()
{
    ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"), LocalText(UiTexts::kProductRunning).c_str(),
        LocalText(UiTexts::kNotice).c_str());
    SelectPage(m_startPage);
    if (m_hasExistingInstallation) {
        Close(1);
    }
}

void CMainWnd::OnInstallSucceeded()
{
    if (m_installPrg) {
        m_installPrg->SetValue(100);
        const std::wstring finishedImage = Toolkit::ResourceFolder() + L"res\\mainWnd\\installPrg3.png";
        if (Utils::PathExists(finishedImage)) {
            m_installPrg->SetForeImage(finishedImage);
            m_installPrg->Invalidate();
        }
    }
    if (m_softNameLbl) {
        m_softNameLbl->SetText(L"Vellumora");
        m_softNameLbl->SetVisible(true);
    }
    SelectPage(kFinishedPage);
    OnInstallFinished();
}

void CMainWnd::OnInstallFinished()
{
    RecordInstallation(m_installFolder, m_reportedUninstaller);
    WriteStateFiles(m_installFolder, InstallerFileName());
    if (m_startupStyle == 1) {
        LaunchProduct();
    }
    Toolkit::CControlUI* root = m_pm.GetRoot();
    if (root && m_topShowDelay != 0) {
        root->SetTimer(TIMER_TOP_SHOW, m_topShowDelay);
    }
    if (root && m_autoCloseDelay != 0) {
        root->SetTimer(TIMER_AUTO_CLOSE, m_autoCloseDelay);
    }
}

void CMainWnd::OnWindowTimer(UINT id)
{
    Toolkit::CControlUI* root = m_pm.GetRoot();
    if (id == TIMER_TOP_SHOW) {
        ::SetForegroundWindow(m_hwnd);
        root->KillTimer(TIMER_TOP_SHOW);
    } else if (id == TIMER_AUTO_CLOSE) {
        root->KillTimer(TIMER_AUTO_CLOSE);
        Close(1);
    }
}

void CMainWnd::LaunchProduct()
{
    if (m_startUrl.size() > 5) {
        ::ShellExecuteW(nullptr, L"open", m_startUrl.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
    if (!Utils::PathExists(m_productExePath)) {
        LOG(L"no product to start at '%s'\r\n", m_productExePath.c_str());
        return;
    }
    // Let the finished page paint before the product takes the screen; bounded, even
    // when no message arrives.
    const HWND window = m_hwnd;
    const DWORD start = ::GetTickCount();
    for (;;) {
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= 100 || !::IsWindow(window)) {
            break;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100 - elapsed, QS_ALLINPUT);
        MSG msg;
        bool quit = false;
        while (!quit && ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                quit = true;
            } else {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (quit) {
            break;
        }
    }
    ::ShellExecuteW(nullptr, L"open", m_productExePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
