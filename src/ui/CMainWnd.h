#pragma once

#include <windows.h>

#include <string>

#include "session/SessionRun.h"
#include "ui/CDuiFrame.h"
#include "ui/MainWndFace.h"
#include "ui/MainWndInstall.h"
#include "ui/MainWndPages.h"

// The installer's one top-level window: a view of the run the session drives. Its pages
// show what happens (MainWndPages), its way in asks the user and hands over
// (MainWndInstall), and its face shows the session's progress and verdicts (MainWndFace).
// The window going ends nothing that runs: the run waits for its children without it.
class CMainWnd : public CDuiFrame {
public:
    static constexpr int kStartPage = MainWndPages::kStartPage;
    static constexpr int kCustomPage = MainWndPages::kCustomPage;
    static constexpr int kInstallingPage = MainWndPages::kInstallingPage;
    static constexpr int kFinishedPage = MainWndPages::kFinishedPage;
    // Runs the existing-installation prompt once the modal loop is up.
    static constexpr UINT WM_EXISTING_INSTALLATION = WM_APP + 0x120;

    explicit CMainWnd(Session::SessionRun& run);
    ~CMainWnd() override;

    void InitWindow() override;
    void Notify(Toolkit::TNotifyUI& msg) override;
    void OnClick(Toolkit::TNotifyUI& msg) override;

    bool StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch)
    {
        return m_install.StartInstall(path, desktopShortcut, quickLaunch);
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
