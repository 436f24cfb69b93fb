#include "ui/CMessageBoxWnd.h"

#include "utils/Log.h"

CMessageBoxWnd::CMessageBoxWnd(FrameParams params)
    : CDuiFrame(std::move(params))
{
}

void CMessageBoxWnd::InitWindow()
{
    CDuiFrame::InitWindow();
    ApplySkinnedStyle();

    m_okBtn = FindControlAs<Toolkit::CButtonUI>(L"okBtn", L"Button");
    m_cancelBtn = FindControlAs<Toolkit::CButtonUI>(L"cancelBtn", L"Button");
    m_textLbl = FindControlAs<Toolkit::CLabelUI>(L"textLbl", L"Label");
    m_captionLbl = FindControlAs<Toolkit::CLabelUI>(L"captionLbl", L"Label");
}

void CMessageBoxWnd::OnClick(Toolkit::TNotifyUI& msg)
{
    if (m_okBtn && msg.sender == m_okBtn) {
        Close(1);
        m_result = 0;
    } else if (m_cancelBtn && msg.sender == m_cancelBtn) {
        Close(1);
        m_result = 1;
    } else {
        CDuiFrame::OnClick(msg);
        m_result = 2;
    }
}

void CMessageBoxWnd::Notify(Toolkit::TNotifyUI& msg)
{
    CDuiFrame::Notify(msg);
}

int ShowMessageBox(HWND owner, const FrameParams& params, const wchar_t* text, const wchar_t* caption)
{
    CMessageBoxWnd box(params);
    if (!box.Create(owner, L"消息框", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        // No window means no click: the same answer as a box closed by the system.
        LOG(L"message box %s could not be created: %s\r\n", params.skinFile.c_str(), box.GetLoadError().c_str());
        return 1;
    }
    if (text && box.GetTextLabel()) {
        box.GetTextLabel()->SetText(text);
    }
    if (caption && box.GetCaptionLabel()) {
        box.GetCaptionLabel()->SetText(caption);
    }
    box.CenterWindow();
    box.ShowModal();
    return box.GetResult();
}
