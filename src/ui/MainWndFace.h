#pragma once

#include <windows.h>

#include <deque>
#include <functional>

#include "session/InstallSession.h"
#include "toolkit/WindowImplBase.h"
#include "ui/MainWndInstall.h"
#include "ui/MainWndPages.h"
#include "ui/ProgressText.h"

// The install session's face in the window: progress, the wait for the product, the
// package's messages, the verdicts as pages and prompts, and the finished page's timers.
// Prompts wait for the window's own loop (Later): a prompt's loop never runs inside a call
// of the session's, and its answer reaches the run as a posted intent.
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
    void Refused(const Session::Outcome& refusal) override;
    void Confirm() override;
    void Started() override;
    void Concluded(const Session::Outcome& outcome) override;
    void OnWindowTimer(UINT id);
    // The window's loop has come round: the prompts that wait are shown, in order.
    void ShowWaitingPrompts();

private:
    void Later(std::function<void()> prompt);
    void ShowFailure(const Session::Outcome& outcome);
    void OnDownloadFailed();
    void OnInstallFailed(const std::wstring& message);
    void OnOldVersionRemovalFailed();
    void OnInstallSucceeded(bool restartRequired);

    Toolkit::WindowImplBase& m_frame;
    MainWndPages& m_pages;
    MainWndInstall& m_install;
    const Session::InstallSession& m_session;
    InstallStopwatch m_stopwatch;
    std::deque<std::function<void()>> m_prompts;
    bool m_showingPrompts = false;
};
