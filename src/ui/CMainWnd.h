#pragma once

#include <windows.h>

#include <string>

#include "session/SessionRun.h"
#include "ui/CDuiFrame.h"
#include "ui/MainWndFace.h"
#include "ui/MainWndInstall.h"
#include "ui/MainWndPages.h"

// The installer's one top-level window: a face of the run the session drives. Its pages
// show what happens (MainWndPages), its way in asks the user and posts the answers
// (MainWndInstall), and its face shows the session's progress and verdicts (MainWndFace).
// The window going ends nothing that runs: the run waits for its children without it.
class CMainWnd : public CDuiFrame, public Session::RunFace {
public:
    static constexpr int kStartPage = MainWndPages::kStartPage;
    static constexpr int kCustomPage = MainWndPages::kCustomPage;
    static constexpr int kInstallingPage = MainWndPages::kInstallingPage;
    static constexpr int kFinishedPage = MainWndPages::kFinishedPage;
    // Runs the existing-installation prompt once the modal loop is up.
    static constexpr UINT WM_EXISTING_INSTALLATION = WM_APP + 0x120;
    // A prompt of the face's waits to be shown (MainWndFace::Later).
    static constexpr UINT WM_FACE_LATER = WM_APP + 0x121;

    explicit CMainWnd(Session::SessionRun& run);
    ~CMainWnd() override;

    // The window's whole life: created, centred, run modally, destroyed.
    Session::InstallFace& Shows() override { return m_face; }
    void Run(Session::SessionRun& run) override;

    void InitWindow() override;
    void Notify(Toolkit::TNotifyUI& msg) override;
    void OnClick(Toolkit::TNotifyUI& msg) override;

    // Asks the session for an install into path (the checks answer later, as prompts).
    void StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch)
    {
        m_install.StartInstall(path, desktopShortcut, quickLaunch);
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

private:
    Session::SessionRun& m_run;
    Session::InstallSession& m_session;
    MainWndPages m_pages;
    MainWndInstall m_install;
    MainWndFace m_face;
};
