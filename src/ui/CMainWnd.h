#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/Button.h"
#include "toolkit/CheckBox.h"
#include "toolkit/Combo.h"
#include "toolkit/Edit.h"
#include "toolkit/Label.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"
#include "session/InstallSession.h"
#include "ui/CDuiFrame.h"
#include "ui/LanguageTextsAdapter.h"
#include "ui/ProgressText.h"
#include "ui/StageReport.h"

namespace Utils {
class Thread;
}

// The installer's one top-level window: four pages (start, custom options, installing,
// finished). The install session decides; the window asks the user, shows its progress and
// verdicts as pages and prompts, and carries the stages' reports to it.
class CMainWnd : public CDuiFrame, private Session::InstallFace {
public:
    enum Page { kStartPage = 0, kCustomPage = 1, kInstallingPage = 2, kFinishedPage = 3 };
    static constexpr UINT TIMER_TOP_SHOW = 10;
    static constexpr UINT TIMER_AUTO_CLOSE = 11;
    // Runs the existing-installation prompt once the modal loop is up.
    static constexpr UINT WM_EXISTING_INSTALLATION = WM_APP + 0x120;

    CMainWnd();
    ~CMainWnd() override;

    void InitWindow() override;
    void Notify(Toolkit::TNotifyUI& msg) override;
    void OnClick(Toolkit::TNotifyUI& msg) override;

    // The session's checks (with their prompts) and the hand-over; true when the install was
    // prepared and the network check or the install start was issued.
    bool StartInstall(const std::wstring& path, bool desktopShortcut, bool quickLaunch);
    std::wstring DefaultInstallDir();
    std::wstring CustomInstallDir();
    std::wstring InstallLanguageCode() const;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
    virtual LRESULT OnTimerMessage(UINT, WPARAM, LPARAM) { return 0; }
    virtual void OnStageReport(StageReport* report);

private:
    // CMainWnd.cpp
    void FindControls();
    void InitLanguageCombo();
    void ApplySelectedLanguage();
    void FitProductNameLabels();
    void OnTabSelect(int page);
    void OnSelectChanged(Toolkit::TNotifyUI& msg);
    int CurrentPage() const;
    void SelectPage(int page);
    void SendInstallNotify(bool start, bool async);
    void ShutDownWorkers();
    bool HasExistingInstallation() const { return m_session && m_session->Existing().present; }

    // MainWndInstall.cpp
    void RunExistingInstallationPrompt();
    void ShowRefusal(const Session::Outcome& refusal);
    void OnCheckNet(WPARAM result);
    void OnInstall(WPARAM start);
    void ChooseFolder();
    void StartNetworkCheck();
    void OpenTerms();

    // MainWndReports.cpp: the session's face
    void DownloadStarted() override;
    void ShowProgress(int percent) override;
    void ShowPackageMessage(const std::wstring& text) override;
    void Concluded(const Session::Outcome& outcome) override;
    void OnDownloadFailed();
    void OnInstallFailed(const std::wstring& message);
    void OnOldVersionRemovalFailed();
    void OnInstallSucceeded();
    void LaunchProduct();
    void OnWindowTimer(UINT id);
    void ResetProgress();

    Toolkit::CControlUI* m_winCtn = nullptr;
    Toolkit::CTabLayoutUI* m_titleTabLt = nullptr;
    Toolkit::CTabLayoutUI* m_mainTabLt = nullptr;
    Toolkit::CButtonUI* m_defaultInstallBtn = nullptr;
    Toolkit::CButtonUI* m_customeBtn = nullptr;
    Toolkit::CLabelUI* m_tipLbl = nullptr;
    Toolkit::CCheckBoxUI* m_treatyCb = nullptr;
    Toolkit::CCheckBoxUI* m_treatyBtn = nullptr;
    Toolkit::CCheckBoxUI* m_serviceCb = nullptr;
    Toolkit::CLabelUI* m_bTitleLbl[3] = {};
    Toolkit::CLabelUI* m_softNameLbl = nullptr;
    Toolkit::CControlUI* m_installLogo = nullptr;
    Toolkit::CComboUI* m_languageCombo = nullptr;
    Toolkit::CButtonUI* m_backBtn = nullptr;
    Toolkit::CEditUI* m_installDirEdit = nullptr;
    Toolkit::CButtonUI* m_chDirBtn = nullptr;
    Toolkit::CCheckBoxUI* m_createDSCb = nullptr;
    Toolkit::CCheckBoxUI* m_createQSCb = nullptr;
    Toolkit::CButtonUI* m_customeInstallBtn = nullptr;
    Toolkit::CControlUI* m_progressAnLb = nullptr;
    Toolkit::CLabelUI* m_progressLb = nullptr;
    Toolkit::CProgressUI* m_installPrg = nullptr;
    Toolkit::CControlUI* m_finishedLbl = nullptr;
    Toolkit::CButtonUI* m_openProduceBtn = nullptr;
    Toolkit::CControlUI* m_titleGrpCtn = nullptr;

    int m_startPage = kStartPage;
    InstallStopwatch m_stopwatch;

    LanguageTextsAdapter m_languageTexts;
    std::unique_ptr<Session::InstallSession> m_session;
    std::unique_ptr<Utils::Thread> m_networkCheck;
};
