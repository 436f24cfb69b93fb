#include "ui/MainWndFace.h"

#include "ui/CMainWnd.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/UiTexts.h"

MainWndFace::MainWndFace(Toolkit::WindowImplBase& frame, MainWndPages& pages, MainWndInstall& install,
    const Session::InstallSession& session)
    : m_frame(frame)
    , m_pages(pages)
    , m_install(install)
    , m_session(session)
{
}

void MainWndFace::DownloadStarted()
{
    m_stopwatch.Start(::GetTickCount());
}

void MainWndFace::ShowProgress(int percent)
{
    m_pages.ShowProgress(percent, m_stopwatch.ElapsedSeconds(::GetTickCount()));
}

void MainWndFace::WaitingForProduct(bool waiting)
{
    m_pages.ShowWaitingForProduct(waiting);
}

void MainWndFace::Later(std::function<void()> prompt)
{
    m_prompts.push_back(std::move(prompt));
    ::PostMessageW(m_frame.GetHWND(), CMainWnd::WM_FACE_LATER, 0, 0);
}

void MainWndFace::ShowWaitingPrompts()
{
    if (m_showingPrompts) {
        return; // a prompt's own loop: the next one comes when it is answered
    }
    m_showingPrompts = true;
    while (!m_prompts.empty()) {
        const std::function<void()> prompt = std::move(m_prompts.front());
        m_prompts.pop_front();
        prompt();
    }
    m_showingPrompts = false;
}

void MainWndFace::ShowPackageMessage(const std::wstring& text)
{
    Later([this, text] {
        // The package's own text, as it wrote it.
        ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"), text.c_str(),
            LocalText(UiTexts::kPackageMessage).c_str());
    });
}

void MainWndFace::Refused(const Session::Outcome& refusal)
{
    Later([this, refusal] { m_install.ShowRefusal(refusal); });
}

void MainWndFace::Confirm()
{
    m_install.Confirm();
}

void MainWndFace::Started()
{
    m_install.Started();
}

void MainWndFace::Concluded(const Session::Outcome& outcome)
{
    if (outcome.verdict == Session::Verdict::Installed) {
        OnInstallSucceeded(outcome.restartRequired);
    } else {
        Later([this, outcome] { ShowFailure(outcome); });
    }
}

void MainWndFace::ShowFailure(const Session::Outcome& outcome)
{
    switch (outcome.verdict) {
    case Session::Verdict::PackageFailed:
    case Session::Verdict::PackageTimedOut:
    case Session::Verdict::DowngradeRefused: // its message names both versions
        OnInstallFailed(outcome.message);
        break;
    case Session::Verdict::DownloadFailed:
    case Session::Verdict::SignatureRefused:
        OnDownloadFailed();
        break;
    case Session::Verdict::RemovalFailed:
        OnOldVersionRemovalFailed();
        break;
    case Session::Verdict::ProductRunning:
        // The product was started again while the install waited to begin.
        m_pages.SelectPage(m_install.StartPage());
        m_install.ShowRefusal(outcome);
        break;
    default:
        break; // refusals come from the checks, stops from the window itself
    }
}

void MainWndFace::OnDownloadFailed()
{
    const int result = ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"NetworkTipWnd.xml"));
    const int startPage = m_install.StartPage();
    if (result == 0) {
        m_install.Retry(startPage);
    } else if (result == 1 && m_install.HasExistingInstallation()) {
        m_frame.Close(1);
    }
    // A retry that passed its checks moves to the installing page when its queued
    // "install" arrives.
    m_pages.SelectPage(startPage);
}

void MainWndFace::OnInstallFailed(const std::wstring& message)
{
    // The package's "Error=" text is shown as the package wrote it.
    const std::wstring text = message.empty() ? LocalText(UiTexts::kInstallFailed) : message;
    ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"), text.c_str(),
        LocalText(UiTexts::kNotice).c_str());
    m_pages.ResetProgress();
    m_pages.SelectPage(MainWndPages::kStartPage);
}

void MainWndFace::OnOldVersionRemovalFailed()
{
    ShowMessageBox(m_frame.GetHWND(), FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"),
        LocalText(UiTexts::kProductRunning).c_str(), LocalText(UiTexts::kNotice).c_str());
    m_pages.SelectPage(m_install.StartPage());
    // The window goes; the old uninstaller, if it still runs, is waited for by the run.
    if (m_install.HasExistingInstallation()) {
        m_frame.Close(1);
    }
}

void MainWndFace::OnInstallSucceeded(bool restartRequired)
{
    m_pages.ShowFinished(restartRequired);
    // Painted now: a product the session starts next takes the screen from this page.
    ::UpdateWindow(m_frame.GetHWND());
    const Session::PackageReports& reports = m_session.Reports();
    Toolkit::CControlUI* root = m_frame.GetPaintManager().GetRoot();
    if (root && reports.topShowDelay != 0) {
        root->SetTimer(TIMER_TOP_SHOW, reports.topShowDelay);
    }
    if (root && reports.autoCloseDelay != 0) {
        root->SetTimer(TIMER_AUTO_CLOSE, reports.autoCloseDelay);
    }
}

void MainWndFace::OnWindowTimer(UINT id)
{
    Toolkit::CControlUI* root = m_frame.GetPaintManager().GetRoot();
    if (id == TIMER_TOP_SHOW) {
        ::SetForegroundWindow(m_frame.GetHWND());
        root->KillTimer(TIMER_TOP_SHOW);
    } else if (id == TIMER_AUTO_CLOSE) {
        root->KillTimer(TIMER_AUTO_CLOSE);
        // The package may still be working: the run waits for it after the window.
        m_frame.Close(1);
    }
}
