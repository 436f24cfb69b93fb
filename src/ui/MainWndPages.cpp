#include "ui/MainWndPages.h"

#include "config/Language.h"
#include "toolkit/Attributes.h"
#include "toolkit/SkinArchive.h"
#include "ui/CSequenceLabelUI.h"
#include "ui/ProgressText.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"

namespace {

// Decided by the class name, as the layout gives it.
CSequenceLabelUI* AsSequenceLabel(Toolkit::CControlUI* control)
{
    if (!control || !Toolkit::EqualsNoCase(control->GetClass(), L"SequenceLabel")) {
        return nullptr;
    }
    return static_cast<CSequenceLabelUI*>(control->GetInterface(L"SequenceLabel"));
}

} // namespace

MainWndPages::MainWndPages(Toolkit::WindowImplBase& frame)
    : m_frame(frame)
    , m_languageTexts(frame.GetPaintManager())
{
}

void MainWndPages::Init(int languageIndex)
{
    FindControls();
    if (m_languageCombo) {
        // Selecting sends "itemselect", which applies the language as well.
        m_languageCombo->SelectItem(languageIndex);
        ApplySelectedLanguage();
    }
    FitProductNameLabels();
}

void MainWndPages::FindControls()
{
    using namespace Toolkit;
    m_winCtn = m_frame.FindControl(L"winCtn");
    m_titleTabLt = m_frame.FindControlAs<CTabLayoutUI>(L"titleTabLt", L"TabLayout");
    m_mainTabLt = m_frame.FindControlAs<CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    m_defaultInstallBtn = m_frame.FindControlAs<CButtonUI>(L"defaultInstallBtn", L"Button");
    m_customeBtn = m_frame.FindControlAs<CButtonUI>(L"customeBtn", L"Button");
    m_tipLbl = m_frame.FindControlAs<CLabelUI>(L"tipLbl", L"Label");
    m_treatyCb = m_frame.FindControlAs<CCheckBoxUI>(L"treatyCb", L"CheckBox");
    m_treatyBtn = m_frame.FindControlAs<CCheckBoxUI>(L"treatyBtn", L"CheckBox");
    m_serviceCb = m_frame.FindControlAs<CCheckBoxUI>(L"serviceCb", L"CheckBox");
    m_bTitleLbl[0] = m_frame.FindControlAs<CLabelUI>(L"bTitleLbl1", L"Label");
    m_bTitleLbl[1] = m_frame.FindControlAs<CLabelUI>(L"bTitleLbl2", L"Label");
    m_bTitleLbl[2] = m_frame.FindControlAs<CLabelUI>(L"bTitleLbl3", L"Label");
    m_softNameLbl = m_frame.FindControlAs<CLabelUI>(L"softNameLbl", L"Label");
    m_installLogo = m_frame.FindControl(L"installLogo");
    m_languageCombo = m_frame.FindControlAs<CComboUI>(L"languageCombo", L"Combo");
    m_backBtn = m_frame.FindControlAs<CButtonUI>(L"backBtn", L"Button");
    m_installDirEdit = m_frame.FindControlAs<CEditUI>(L"installDirEdit", L"Edit");
    m_chDirBtn = m_frame.FindControlAs<CButtonUI>(L"chDirBtn", L"Button");
    m_createDSCb = m_frame.FindControlAs<CCheckBoxUI>(L"createDSCb", L"CheckBox");
    m_createQSCb = m_frame.FindControlAs<CCheckBoxUI>(L"createQSCb", L"CheckBox");
    m_customeInstallBtn = m_frame.FindControlAs<CButtonUI>(L"customeInstallBtn", L"Button");
    m_progressAnLb = m_frame.FindControl(L"progressAnLb");
    m_progressLb = m_frame.FindControlAs<CLabelUI>(L"progressLb", L"Label");
    m_installPrg = m_frame.FindControlAs<CProgressUI>(L"installPrg", L"Progress");
    m_finishedLbl = m_frame.FindControl(L"finishedLbl");
    m_restartLbl = m_frame.FindControlAs<CLabelUI>(L"restartLbl", L"Label");
    m_openProduceBtn = m_frame.FindControlAs<CButtonUI>(L"openProduceBtn", L"Button");
    m_titleGrpCtn = m_frame.FindControl(L"titleGrpCtn");

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

MainWndPages::Action MainWndPages::ActionOf(const Toolkit::CControlUI* sender) const
{
    if (!sender) {
        return Action::None;
    }
    const std::pair<const Toolkit::CControlUI*, Action> buttons[]
        = { { m_defaultInstallBtn, Action::DefaultInstall }, { m_customeBtn, Action::Customise },
              { m_treatyBtn, Action::Terms }, { m_backBtn, Action::Back }, { m_chDirBtn, Action::ChooseFolder },
              { m_customeInstallBtn, Action::CustomInstall }, { m_openProduceBtn, Action::OpenProduct } };
    for (const auto& [control, action] : buttons) {
        if (control && control == sender) {
            return action;
        }
    }
    return sender->GetName() == L"closebtn" ? Action::Close : Action::None;
}

void MainWndPages::ApplySelectedLanguage()
{
    if (!m_languageCombo) {
        return;
    }
    Utils::LoadLanguage(m_languageTexts, m_languageCombo->GetCurSel(), L"");
    m_languageTexts.ReapplyTexts();
    for (const wchar_t* name : { L"lbLanguage", L"lbInstallPath", L"backBtn" }) {
        if (auto* label = m_frame.FindControlAs<Toolkit::CLabelUI>(name, L"Label")) {
            // Measured in the window's pixels; the fixed width is a 96-dpi number.
            label->SetFixedWidth(label->GetScale().Unscale(label->MeasureTextWidth()) + label->GetTextPadding().left);
        }
    }
}

void MainWndPages::FitProductNameLabels()
{
    for (Toolkit::CLabelUI* label : { m_softNameLbl, m_bTitleLbl[0], m_bTitleLbl[1], m_bTitleLbl[2] }) {
        if (label) {
            label->SetFixedWidth(label->GetScale().Unscale(label->MeasureTextWidth(L"Vellumora")));
            label->SetText(L"Vellumora");
        }
    }
}

std::wstring MainWndPages::InstallLanguageCode() const
{
    return m_languageCombo ? Utils::InstallLanguageCode(m_languageCombo->GetCurSel()) : std::wstring();
}

int MainWndPages::CurrentPage() const
{
    return m_mainTabLt ? m_mainTabLt->GetCurSel() : kStartPage;
}

void MainWndPages::SelectPage(int page)
{
    if (m_mainTabLt) {
        m_mainTabLt->SelectItem(page);
    }
}

void MainWndPages::ShowTermsTip()
{
    if (m_tipLbl) {
        m_tipLbl->SetVisible(true);
    }
}

void MainWndPages::SetFolder(const std::wstring& folder)
{
    if (m_installDirEdit) {
        m_installDirEdit->SetText(folder);
    }
}

std::wstring MainWndPages::TypedFolder() const
{
    return m_installDirEdit ? m_installDirEdit->GetText() : std::wstring();
}

void MainWndPages::EnableCustomInstall(bool enabled)
{
    if (!m_customeInstallBtn) {
        return;
    }
    m_customeInstallBtn->SetEnabled(enabled);
    // Disabling it took the keyboard focus away; a refused install gives it back.
    if (enabled && CurrentPage() == kCustomPage && !m_frame.GetPaintManager().GetFocus()) {
        m_customeInstallBtn->SetFocus();
    }
}

void MainWndPages::OnTabSelect(int page)
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
    if (Toolkit::CControlUI* label = m_frame.FindControl(L"lbLanguage")) {
        label->SetVisible(choosing);
    }
    // Each page starts with its main button focused, so Enter does the expected thing.
    Toolkit::CButtonUI* const primary[] = { m_defaultInstallBtn, m_customeInstallBtn, nullptr, m_openProduceBtn };
    if (primary[page]) {
        primary[page]->SetFocus();
    } else {
        m_frame.GetPaintManager().SetFocus(nullptr);
    }
}

void MainWndPages::OnSelectChanged(const Toolkit::TNotifyUI& msg)
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

void MainWndPages::ShowProgress(int percent, float elapsedSeconds)
{
    if (m_progressLb) {
        m_progressLb->SetText(ProgressText(m_progressLb->GetUserData(), percent, elapsedSeconds));
    }
    if (m_installPrg) {
        m_installPrg->SetValue(percent);
    }
}

void MainWndPages::ShowWaitingForProduct(bool waiting)
{
    if (!m_progressLb) {
        return;
    }
    const int percent = m_installPrg ? m_installPrg->GetValue() : 0;
    m_progressLb->SetText(
        waiting ? LocalText(UiTexts::kProductRunning) : ProgressText(m_progressLb->GetUserData(), percent, 0.0f));
}

void MainWndPages::ResetProgress()
{
    if (m_installPrg && m_installPrg->GetValue() > 69) {
        if (m_progressLb) {
            m_progressLb->SetText(LocalText(UiTexts::kProgressStart));
        }
        m_installPrg->SetValue(0);
    }
}

void MainWndPages::ShowFinished(bool restartRequired)
{
    if (m_restartLbl) {
        m_restartLbl->SetText(LocalText(UiTexts::kRestartRequired));
        m_restartLbl->SetVisible(restartRequired);
    } else if (restartRequired) {
        LOG(L"the main layout lacks restartLbl: the restart goes unsaid\r\n");
    }
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
}
