#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "session/SessionRun.h"
#include "toolkit/WindowImplBase.h"
#include "ui/MainWndPages.h"

namespace Utils {
class Thread;
}

// The window's way into an install: the existing-installation prompt, the refusals of the
// session's checks as prompts, the network check and the folder chooser. The session
// decides; this asks the user and posts the answers to the run.
class MainWndInstall {
public:
    MainWndInstall(Toolkit::WindowImplBase& frame, MainWndPages& pages, Session::SessionRun& run);
    // Joins the network check.
    ~MainWndInstall();
    MainWndInstall(const MainWndInstall&) = delete;
    MainWndInstall& operator=(const MainWndInstall&) = delete;

    // Asks the run for an install into path; its checks answer with Confirm or a refusal.
    void StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch);
    // The session's checks passed: the network check, when asked for, then the answer.
    void Confirm();
    // The install has started.
    void Started();
    // The install again as it was asked for from page startPage.
    void Retry(int startPage);
    std::wstring DefaultInstallDir();
    std::wstring CustomInstallDir();
    bool HasExistingInstallation() const { return m_session.Existing().present; }

    void RunExistingInstallationPrompt();
    // A refusal of the checks or of the run itself, as the window's prompt (never from
    // inside a call of the session's).
    void ShowRefusal(const Session::Outcome& refusal);
    void OnCheckNet(WPARAM result);
    void OnInstall(WPARAM start);
    void ChooseFolder();
    // The page the last install was started from.
    int StartPage() const noexcept { return m_startPage; }
    // Joins the network check; no "checknet" follows.
    void StopNetworkCheck();

private:
    void StartNetworkCheck();
    void SendInstallNotify(bool start, bool async);

    Toolkit::WindowImplBase& m_frame;
    MainWndPages& m_pages;
    Session::SessionRun& m_run;
    Session::InstallSession& m_session;
    int m_startPage = MainWndPages::kStartPage;
    std::unique_ptr<Utils::Thread> m_networkCheck;
};
