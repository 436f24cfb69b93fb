#pragma once

#include <windows.h>

#include "session/InstallSession.h"
#include "toolkit/WindowImplBase.h"
#include "ui/MainWndInstall.h"
#include "ui/MainWndPages.h"
#include "ui/ProgressText.h"

// The install session's face in the window: progress, the wait for the product, the
// package's messages, the verdicts as pages and prompts, and the finished page's timers.
class MainWndFace final : public Session::InstallFace {
public:
    static constexpr UINT TIMER_TOP_SHOW = 10;
    static constexpr UINT TIMER_AUTO_CLOSE = 11;

    MainWndFace(Toolkit::WindowImplBase& frame, MainWndPages& pages, MainWndInstall& install,
        const Session::InstallSession& session);

    void DownloadStarted() override;
    void ShowProgress(int percent) override;
    void WaitingForProduct(bool waiting) override;
    void ShowPackageMessage(const std::wstring& text) override;
    void Concluded(const Session::Outcome& outcome) override;
    void OnWindowTimer(UINT id);

private:
    void OnDownloadFailed();
    void OnInstallFailed(const std::wstring& message);
    void OnOldVersionRemovalFailed();
    void OnInstallSucceeded(bool restartRequired);

    Toolkit::WindowImplBase& m_frame;
    MainWndPages& m_pages;
    MainWndInstall& m_install;
    const Session::InstallSession& m_session;
    InstallStopwatch m_stopwatch;
};
