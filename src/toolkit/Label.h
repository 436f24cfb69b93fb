#pragma once

#include "toolkit/Control.h"

namespace Toolkit {

// Text in a font and colour, aligned inside the rect minus its text padding; single line
// unless "multiline". With "autocalcwidth" the layout gives it the width of its text.
class CLabelUI : public CControlUI {
public:
    std::wstring_view GetClass() const override { return L"Label"; }
    void* GetInterface(std::wstring_view name) override;

    int GetFont() const noexcept { return m_font; }
    void SetFont(int id);
    DWORD GetTextColor() const noexcept { return m_textColor; }
    void SetTextColor(DWORD argb);
    const RECT& GetTextPadding() const noexcept { return m_textPadding; }
    void SetTextPadding(const RECT& padding);
    UINT GetTextStyle() const noexcept { return m_textStyle; }
    void SetTextStyle(UINT style);
    bool IsAutoCalcWidth() const noexcept { return m_autoCalcWidth; }
    void SetAutoCalcWidth(bool on);
    // Width of a text (its own when empty) in this label's font and text style.
    int MeasureTextWidth(const std::wstring& text) const;
    int MeasureTextWidth() const { return MeasureTextWidth(m_text); }

    void SetText(const std::wstring& text) override;
    SIZE EstimateSize(SIZE available) override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

protected:
    void PaintText(Painter& painter) override;
    DWORD CurrentTextColor() const;
    RECT TextRect() const;

    int m_font = -1;
    DWORD m_textColor = 0;
    DWORD m_disabledTextColor = 0xFFA0A0A0;
    RECT m_textPadding {};
    UINT m_textStyle = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
    bool m_autoCalcWidth = false;
};

} // namespace Toolkit
