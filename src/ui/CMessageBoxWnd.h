#pragma once

#include "toolkit/Button.h"
#include "toolkit/Label.h"
#include "ui/CDuiFrame.h"

// A modal prompt built from one of the message layouts. Result: 0 "okBtn", 1 "cancelBtn"
// (and any close without a click), 2 "closebtn" or any other click.
class CMessageBoxWnd : public CDuiFrame {
public:
    explicit CMessageBoxWnd(FrameParams params);

    int GetResult() const noexcept { return m_result; }
    Toolkit::CLabelUI* GetTextLabel() const noexcept { return m_textLbl; }
    Toolkit::CLabelUI* GetCaptionLabel() const noexcept { return m_captionLbl; }

    void InitWindow() override;
    void OnClick(Toolkit::TNotifyUI& msg) override;
    void Notify(Toolkit::TNotifyUI& msg) override;

private:
    int m_result = 1;
    Toolkit::CButtonUI* m_okBtn = nullptr;
    Toolkit::CButtonUI* m_cancelBtn = nullptr;
    Toolkit::CLabelUI* m_textLbl = nullptr;
    Toolkit::CLabelUI* m_captionLbl = nullptr;
};

// Shows a prompt over owner, modally, and returns which button closed it. text and
// caption go to "textLbl" and "captionLbl" when given and present in the layout.
int ShowMessageBox(
    HWND owner, const FrameParams& params, const wchar_t* text = nullptr, const wchar_t* caption = nullptr);
