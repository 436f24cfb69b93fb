// The install session's face in the window: progress, prompts, the finished page and
// starting the product.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "config/InstallerConfig.h"
#include "toolkit/SkinArchive.h"
#include "ui/CMainWnd.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"

void CMainWnd::OnStageReport(StageReport* raw)
{
    std::unique_ptr<StageReport> report(raw); // ours, whatever the code
    if (report && m_session) {
        m_session->OnStageReport(report->code, report->progress, report->message);
    }
}

void CMainWnd::DownloadStarted()
{
    m_stopwatch.Start(::GetTickCount());
}

void CMainWnd::ShowProgress(int percent)
{
    const std::wstring pattern = m_progressLb ? m_progressLb->GetUserData() : std::wstring();
    const std::wstring text = ProgressText(pattern, percent, m_stopwatch.ElapsedSeconds(::GetTickCount()));
    if (m_progressLb) {
        m_progressLb->SetText(text);
    }
    if (m_installPrg) {
        m_installPrg->SetValue(percent);
    }
}

void CMainWnd::ShowPackageMessage(const std::wstring& text)
{
    // The package's own text, as it wrote it.
    ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"), text.c_str(),
        LocalText(UiTexts::kPackageMessage).c_str());
}

void CMainWnd::Concluded(const Session::Outcome& outcome)
{
    switch (outcome.verdict) {
    case Session::Verdict::Installed:
        OnInstallSucceeded();
        break;
    case Session::Verdict::PackageFailed:
    case Session::Verdict::PackageTimedOut:
        OnInstallFailed(outcome.message);
        break;
    case Session::Verdict::DownloadFailed:
    case Session::Verdict::SignatureRefused:
        OnDownloadFailed();
        break;
    case Session::Verdict::RemovalFailed:
        OnOldVersionRemovalFailed();
        break;
    default:
        break; // refusals come from the checks, stops from the window itself
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
    } else if (result == 1 && HasExistingInstallation()) {
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
    if (HasExistingInstallation()) {
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
    // The session has recorded the installation.
    const Session::PackageReports& reports = m_session->Reports();
    if (reports.startupStyle == 1) {
        LaunchProduct();
    }
    Toolkit::CControlUI* root = m_pm.GetRoot();
    if (root && reports.topShowDelay != 0) {
        root->SetTimer(TIMER_TOP_SHOW, reports.topShowDelay);
    }
    if (root && reports.autoCloseDelay != 0) {
        root->SetTimer(TIMER_AUTO_CLOSE, reports.autoCloseDelay);
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
    const std::wstring& startUrl = m_session->Reports().startUrl;
    if (startUrl.size() > 5) {
        ::ShellExecuteW(nullptr, L"open", startUrl.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
    }
    const std::wstring product = m_session->ProductExe();
    if (!Utils::PathExists(product)) {
        LOG(L"no product to start at '%s'\r\n", product.c_str());
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
    ::ShellExecuteW(nullptr, L"open", product.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
