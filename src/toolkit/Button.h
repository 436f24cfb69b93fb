#pragma once

#include "toolkit/Label.h"

namespace Toolkit {

// A label that can be pressed: four state images (normal, hot, pushed, disabled) plus an
// optional focused image, state text colours; a click (mouse, or Enter/Space while
// focused) sends "click".
class CButtonUI : public CLabelUI {
public:
    CButtonUI();
    std::wstring_view GetClass() const override { return L"Button"; }
    void* GetInterface(std::wstring_view name) override;

    bool IsFocusable() const override { return true; }
    bool IsInteractive() const override { return true; }
    bool Activate() override;
    DWORD GetFocusCueColor() const override { return m_focusCueColor; }
    void SetEnabled(bool enabled) override;
    bool IsHot() const noexcept { return m_hot; }
    bool IsPushed() const noexcept { return m_pushed; }

    void SetNormalImage(const std::wstring& image);
    void SetHotImage(const std::wstring& image);
    void SetPushedImage(const std::wstring& image);
    void SetDisabledImage(const std::wstring& image);

    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoEvent(ControlEvent& event) override;

protected:
    void PaintStatusImage(Painter& painter) override;
    void PaintText(Painter& painter) override;
    // Draws the first present image of the state's fallbacks; false when none drew.
    bool DrawStateImage(Painter& painter, const ImageRef& preferred, const ImageRef& fallback);

    bool m_hot = false;
    bool m_pushed = false;
    ImageRef m_normalImage;
    ImageRef m_hotImage;
    ImageRef m_pushedImage;
    ImageRef m_disabledImage;
    ImageRef m_focusedImage;
    DWORD m_hotTextColor = 0;
    DWORD m_pushedTextColor = 0;
    DWORD m_focusCueColor = 0xFF0076FF;
};

} // namespace Toolkit
