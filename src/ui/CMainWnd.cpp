#include "ui/CMainWnd.h"

#include "config/InstallerConfig.h"
#include "config/Language.h"
#include "session/InstallFolders.h"
#include "toolkit/Attributes.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/CSequenceLabelUI.h"
#include "utils/Log.h"
#include "utils/Thread.h"

namespace {

constexpr int kAppIconId = 145;

// Decided by the class name, as the layout gives it.
CSequenceLabelUI* AsSequenceLabel(Toolkit::CControlUI* control)
{
    if (!control || !Toolkit::EqualsNoCase(control->GetClass(), L"SequenceLabel")) {
        return nullptr;
    }
    return static_cast<CSequenceLabelUI*>(control->GetInterface(L"SequenceLabel"));
}

} // namespace

CMainWnd::CMainWnd()
    : CDuiFrame(FrameParams::ForSkinFile(L"MainWnd.xml"))
    , m_languageTexts(m_pm)
{
}

CMainWnd::~CMainWnd()
{
    // The window normally went first (WM_DESTROY stopped everything); this covers an
    // object destroyed with its window still open.
    if (m_hwnd && ::IsWindow(m_hwnd)) {
        ::DestroyWindow(m_hwnd);
    }
    ShutDownWorkers();
}

void CMainWnd::ShutDownWorkers()
{
    // Stops and joins every stage for good; after this no report is posted any more.
    if (m_session) {
        m_session->Stop();
    }
    if (m_networkCheck) {
        m_networkCheck->Join();
        m_networkCheck.reset();
    }
}

void CMainWnd::InitWindow()
{
    CDuiFrame::InitWindow();
    ApplySkinnedStyle();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Shared icons belong to the system; nothing to free.
    if (HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
            ::GetSystemMetrics(SM_CYICON), LR_SHARED)) {
        ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    }
    if (HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
            ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)) {
        ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }

    FindControls();
    InitLanguageCombo();
    FitProductNameLabels();

    const HWND window = m_hwnd;
    m_session = std::make_unique<Session::InstallSession>(
        static_cast<Session::InstallFace&>(*this), [window](int code, double progress, const std::wstring& message) {
            PostStageReport(window, code, progress, message);
        });

    if (m_installDirEdit) {
        m_installDirEdit->SetText(DefaultInstallDir());
    }
    OnTabSelect(CurrentPage());
    CenterWindow();
    if (HasExistingInstallation()) {
        // Asked once the window is up, so the prompt has a visible, centred owner.
        ::PostMessageW(m_hwnd, WM_EXISTING_INSTALLATION, 0, 0);
    }
}

void CMainWnd::FindControls()
{
    using namespace Toolkit;
    m_winCtn = FindControl(L"winCtn");
    m_titleTabLt = FindControlAs<CTabLayoutUI>(L"titleTabLt", L"TabLayout");
    m_mainTabLt = FindControlAs<CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    m_defaultInstallBtn = FindControlAs<CButtonUI>(L"defaultInstallBtn", L"Button");
    m_customeBtn = FindControlAs<CButtonUI>(L"customeBtn", L"Button");
    m_tipLbl = FindControlAs<CLabelUI>(L"tipLbl", L"Label");
    m_treatyCb = FindControlAs<CCheckBoxUI>(L"treatyCb", L"CheckBox");
    m_treatyBtn = FindControlAs<CCheckBoxUI>(L"treatyBtn", L"CheckBox");
    m_serviceCb = FindControlAs<CCheckBoxUI>(L"serviceCb", L"CheckBox");
    m_bTitleLbl[0] = FindControlAs<CLabelUI>(L"bTitleLbl1", L"Label");
    m_bTitleLbl[1] = FindControlAs<CLabelUI>(L"bTitleLbl2", L"Label");
    m_bTitleLbl[2] = FindControlAs<CLabelUI>(L"bTitleLbl3", L"Label");
    m_softNameLbl = FindControlAs<CLabelUI>(L"softNameLbl", L"Label");
    m_installLogo = FindControl(L"installLogo");
    m_languageCombo = FindControlAs<CComboUI>(L"languageCombo", L"Combo");
    m_backBtn = FindControlAs<CButtonUI>(L"backBtn", L"Button");
    m_installDirEdit = FindControlAs<CEditUI>(L"installDirEdit", L"Edit");
    m_chDirBtn = FindControlAs<CButtonUI>(L"chDirBtn", L"Button");
    m_createDSCb = FindControlAs<CCheckBoxUI>(L"createDSCb", L"CheckBox");
    m_createQSCb = FindControlAs<CCheckBoxUI>(L"createQSCb", L"CheckBox");
    m_customeInstallBtn = FindControlAs<CButtonUI>(L"customeInstallBtn", L"Button");
    m_progressAnLb = FindControl(L"progressAnLb");
    m_progressLb = FindControlAs<CLabelUI>(L"progressLb", L"Label");
    m_installPrg = FindControlAs<CProgressUI>(L"installPrg", L"Progress");
    m_finishedLbl = FindControl(L"finishedLbl");
    m_openProduceBtn = FindControlAs<CButtonUI>(L"openProduceBtn", L"Button");
    m_titleGrpCtn = FindControl(L"titleGrpCtn");

    // A layout without these cannot install; the window still works as far as it can.
    const std::pair<const void*, const wchar_t*> required[] = { { m_mainTabLt, L"mainTabLt" },
        { m_defaultInstallBtn, L"defaultInstallBtn" }, { m_customeBtn, L"customeBtn" }, { m_treatyCb, L"treatyCb" },
        { m_customeInstallBtn, L"customeInstallBtn" } };
    for (const auto& [control, name] : required) {
        if (!control) {
            LOG(L"the main layout lacks %s\r\n", name);
        }
    }
}

void CMainWnd::InitLanguageCombo()
{
    if (!m_languageCombo) {
        return;
    }
    // An index outside the table falls back to English; the list shows that too, so what
    // the window says and what the package is told agree.
    const int index = Utils::InitialLanguageIndex(TheInstallerConfig().LanguageIndex, ::GetUserDefaultUILanguage());
    // Selecting sends "itemselect", which applies the language as well.
    m_languageCombo->SelectItem(index);
    ApplySelectedLanguage();
}

void CMainWnd::ApplySelectedLanguage()
{
    if (!m_languageCombo) {
        return;
    }
    const int used = Utils::LoadLanguage(m_languageTexts, m_languageCombo->GetCurSel(), L"");
    m_languageTexts.ReapplyTexts();
    for (const wchar_t* name : { L"lbLanguage", L"lbInstallPath", L"backBtn" }) {
        if (auto* label = FindControlAs<Toolkit::CLabelUI>(name, L"Label")) {
            // Measured in the window's pixels; the fixed width is a 96-dpi number.
            label->SetFixedWidth(label->GetScale().Unscale(label->MeasureTextWidth()) + label->GetTextPadding().left);
        }
    }
    TheInstallerConfig().LanguageIndex = used;
}

void CMainWnd::FitProductNameLabels()
{
    for (Toolkit::CLabelUI* label : { m_softNameLbl, m_bTitleLbl[0], m_bTitleLbl[1], m_bTitleLbl[2] }) {
        if (label) {
            label->SetFixedWidth(label->GetScale().Unscale(label->MeasureTextWidth(L"Vellumora")));
            label->SetText(L"Vellumora");
        }
    }
}

std::wstring CMainWnd::DefaultInstallDir()
{
    return m_session ? m_session->DefaultFolder() : std::wstring();
}

std::wstring CMainWnd::CustomInstallDir()
{
    const std::wstring defaultFolder = DefaultInstallDir();
    const std::wstring typed = m_installDirEdit ? m_installDirEdit->GetText() : std::wstring();
    return IsSameFolder(defaultFolder, typed) ? defaultFolder : typed;
}

std::wstring CMainWnd::InstallLanguageCode() const
{
    return m_languageCombo ? Utils::InstallLanguageCode(m_languageCombo->GetCurSel()) : std::wstring();
}

int CMainWnd::CurrentPage() const
{
    return m_mainTabLt ? m_mainTabLt->GetCurSel() : kStartPage;
}

void CMainWnd::SelectPage(int page)
{
    if (m_mainTabLt) {
        m_mainTabLt->SelectItem(page);
    }
}

void CMainWnd::SendInstallNotify(bool start, bool async)
{
    m_pm.SendNotify(m_pm.GetRoot(), L"install", start ? 1 : 0, 0, async);
}

void CMainWnd::OnTabSelect(int page)
{
    static const wchar_t* const backgrounds[]
        = { L"res\\mainWnd\\bg1.png", L"res\\mainWnd\\bg2.png", L"res\\mainWnd\\bg3.png", L"res\\mainWnd\\bg4.png" };
    if (page < kStartPage || page > kFinishedPage) {
        return;
    }
    if (m_winCtn) {
        m_winCtn->SetBkImage(backgrounds[page]);
    }
    if (m_titleTabLt && page != kInstallingPage) {
        m_titleTabLt->SelectItem(page == kFinishedPage ? 2 : 1);
    }
    if (page == kInstallingPage) {
        if (CSequenceLabelUI* animation = AsSequenceLabel(m_progressAnLb)) {
            animation->Start();
        }
    }
    if (page == kFinishedPage) {
        if (CSequenceLabelUI* animation = AsSequenceLabel(m_progressAnLb)) {
            animation->Stop();
        }
        if (CSequenceLabelUI* finished = AsSequenceLabel(m_finishedLbl)) {
            finished->Start();
        }
    }
    if (m_titleGrpCtn) {
        m_titleGrpCtn->SetVisible(page != kInstallingPage);
    }
    if (m_installLogo) {
        m_installLogo->SetVisible(page == kInstallingPage);
    }
    if (m_backBtn) {
        m_backBtn->SetVisible(page == kCustomPage);
    }
    // The package is told its language when it starts; from then on the list would only
    // change the window, so it shows on the pages before the install only.
    const bool choosing = page == kStartPage || page == kCustomPage;
    if (m_languageCombo) {
        m_languageCombo->SetVisible(choosing);
    }
    if (Toolkit::CControlUI* label = FindControl(L"lbLanguage")) {
        label->SetVisible(choosing);
    }
    // Each page starts with its main button focused, so Enter does the expected thing.
    Toolkit::CButtonUI* const primary[] = { m_defaultInstallBtn, m_customeInstallBtn, nullptr, m_openProduceBtn };
    if (primary[page]) {
        primary[page]->SetFocus();
    } else {
        m_pm.SetFocus(nullptr);
    }
}

void CMainWnd::OnSelectChanged(Toolkit::TNotifyUI& msg)
{
    if (m_treatyCb && msg.sender == m_treatyCb) {
        if (m_treatyBtn) {
            m_treatyBtn->Selected(m_treatyCb->IsSelected(), false);
        }
        const bool accepted = m_treatyCb->IsSelected() && (!m_serviceCb || m_serviceCb->IsSelected());
        if (m_customeBtn) {
            m_customeBtn->SetEnabled(accepted);
        }
        if (accepted && m_tipLbl) {
            m_tipLbl->SetVisible(false);
        }
    } else if (m_serviceCb && msg.sender == m_serviceCb) {
        const bool selected = m_serviceCb->IsSelected();
        if (m_defaultInstallBtn) {
            m_defaultInstallBtn->SetEnabled(selected);
        }
        if (m_customeBtn) {
            m_customeBtn->SetEnabled(selected && m_treatyCb && m_treatyCb->IsSelected());
        }
    } else if (m_treatyBtn && msg.sender == m_treatyBtn) {
        // The link box only mirrors the terms box.
        m_treatyBtn->Selected(m_treatyCb && m_treatyCb->IsSelected(), false);
    }
}

void CMainWnd::Notify(Toolkit::TNotifyUI& msg)
{
    if (msg.type == L"selectchanged") {
        OnSelectChanged(msg);
    } else if (msg.type == L"tabselect") {
        if (m_mainTabLt && msg.sender == m_mainTabLt) {
            OnTabSelect(static_cast<int>(msg.wParam));
        }
    } else if (msg.type == L"checknet") {
        OnCheckNet(msg.wParam);
    } else if (msg.type == L"install") {
        OnInstall(msg.wParam);
    } else if (msg.type == L"timer") {
        if (msg.sender && msg.sender == m_pm.GetRoot()) {
            OnWindowTimer(static_cast<UINT>(msg.wParam));
        }
    } else if (msg.type == L"itemselect") {
        if (m_languageCombo && msg.sender == m_languageCombo) {
            ApplySelectedLanguage();
        }
    }
    CDuiFrame::Notify(msg);
}

void CMainWnd::OnClick(Toolkit::TNotifyUI& msg)
{
    Toolkit::CControlUI* sender = msg.sender;
    if (!sender) {
        return;
    }
    if (sender == m_defaultInstallBtn) {
        if (m_treatyCb && m_treatyCb->IsSelected()) {
            StartInstall(DefaultInstallDir(), true, true);
        } else if (m_tipLbl) {
            m_tipLbl->SetVisible(true);
        }
    } else if (sender == m_customeBtn) {
        SelectPage(kCustomPage);
    } else if (sender == m_treatyBtn) {
        OpenTerms();
    } else if (sender == m_backBtn) {
        SelectPage(kStartPage);
    } else if (sender == m_chDirBtn) {
        ChooseFolder();
    } else if (sender == m_customeInstallBtn) {
        StartInstall(
            CustomInstallDir(), m_createDSCb && m_createDSCb->IsSelected(), m_createQSCb && m_createQSCb->IsSelected());
    } else if (sender == m_openProduceBtn) {
        if (m_session && m_session->Reports().startupStyle == 2) {
            LaunchProduct();
        }
        Close(1);
    } else if (sender->GetName() == L"closebtn") {
        if (CurrentPage() == kFinishedPage
            || ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"ExitTipWnd.xml")) == 0) {
            Close(1);
        }
    } else {
        CDuiFrame::OnClick(msg);
    }
}

LRESULT CMainWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && m_session && m_session->Running()) {
        return 0; // the install cannot be abandoned half-way
    }
    if (message == WM_QUERYENDSESSION) {
        // An installer never holds up a shutdown; the install stops when it is confirmed.
        LOG(L"the session is ending (0x%08lX)\r\n", static_cast<unsigned long>(lParam));
        return TRUE;
    }
    if (message == WM_ENDSESSION && wParam) {
        // The process is ended once this returns: stop the stages now (a package still
        // running is ended), so nothing is recorded half-way and no thread is cut off.
        LOG(L"stopped by the system (%s); nothing is recorded\r\n",
            lParam & ENDSESSION_LOGOFF ? L"logoff" : L"shutdown");
        ShutDownWorkers();
        DiscardQueuedStageReports(m_hwnd);
        ::DestroyWindow(m_hwnd);
        // This arrived as a sent message, inside the modal loop's wait: wake the loop so it
        // sees the window gone.
        ::PostThreadMessageW(::GetCurrentThreadId(), WM_NULL, 0, 0);
        return 0;
    }
    if (message == WM_DESTROY) {
        ShutDownWorkers();
        DiscardQueuedStageReports(m_hwnd);
    }
    return CDuiFrame::HandleMessage(message, wParam, lParam);
}

LRESULT CMainWnd::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = false;
    if (message == WM_TIMER) {
        OnTimerMessage(message, wParam, lParam);
    } else if (message == WM_STAGE_REPORT) {
        OnStageReport(reinterpret_cast<StageReport*>(lParam));
        handled = true;
        return 0;
    } else if (message == WM_EXISTING_INSTALLATION) {
        RunExistingInstallationPrompt();
        handled = true;
        return 0;
    }
    return CDuiFrame::HandleCustomMessage(message, wParam, lParam, handled);
}
