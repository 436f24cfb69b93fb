#pragma once

#include <string>

#include "toolkit/Button.h"
#include "toolkit/CheckBox.h"
#include "toolkit/Combo.h"
#include "toolkit/Edit.h"
#include "toolkit/Label.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"
#include "toolkit/WindowImplBase.h"
#include "ui/LanguageTextsAdapter.h"

// What the main window shows: its four pages (start, custom options, installing,
// finished), the controls on them and the language of their texts. It decides nothing; the
// window asks it what a click means and tells it what to show.
class MainWndPages {
public:
    enum Page { kStartPage = 0, kCustomPage = 1, kInstallingPage = 2, kFinishedPage = 3 };
    // What a click asks for.
    enum class Action { None, DefaultInstall, Customise, Terms, Back, ChooseFolder, CustomInstall, OpenProduct, Close };

    explicit MainWndPages(Toolkit::WindowImplBase& frame);

    // Finds the layout's controls and shows the product's name; selects the language.
    void Init(int languageIndex);
    Action ActionOf(const Toolkit::CControlUI* sender) const;
    // The page the tab layout reports as selected: backgrounds, titles, focus.
    void OnTabSelect(int page);
    // The terms and service boxes and the buttons they enable.
    void OnSelectChanged(const Toolkit::TNotifyUI& msg);
    bool IsLanguageList(const Toolkit::CControlUI* sender) const { return sender && sender == m_languageCombo; }
    void ApplySelectedLanguage();

    int CurrentPage() const;
    void SelectPage(int page);
    bool TermsAccepted() const { return m_treatyCb && m_treatyCb->IsSelected(); }
    // The tip that the terms must be accepted first.
    void ShowTermsTip();
    void SetFolder(const std::wstring& folder);
    std::wstring TypedFolder() const;
    bool DesktopShortcut() const { return m_createDSCb && m_createDSCb->IsSelected(); }
    bool QuickLaunch() const { return m_createQSCb && m_createQSCb->IsSelected(); }
    // The language the package is told; empty without a language list.
    std::wstring InstallLanguageCode() const;
    // The custom page's install button, off while a request is being checked.
    void EnableCustomInstall(bool enabled);

    void ShowProgress(int percent, float elapsedSeconds);
    // While the package waits for the product to exit.
    void ShowWaitingForProduct(bool waiting);
    // A failed install starts again from 0 when it had got into the package's share.
    void ResetProgress();
    // restartRequired: the page also says the computer must restart.
    void ShowFinished(bool restartRequired);

private:
    void FindControls();
    void FitProductNameLabels();

    Toolkit::WindowImplBase& m_frame;
    LanguageTextsAdapter m_languageTexts;
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
    Toolkit::CLabelUI* m_restartLbl = nullptr;
    Toolkit::CButtonUI* m_openProduceBtn = nullptr;
    Toolkit::CControlUI* m_titleGrpCtn = nullptr;
};
