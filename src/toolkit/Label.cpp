#include "toolkit/Label.h"

#include "toolkit/Attributes.h"
#include "toolkit/Painter.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

void* CLabelUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Label") ? this : CControlUI::GetInterface(name);
}

void CLabelUI::SetFont(int id)
{
    m_font = id;
    Invalidate();
}

void CLabelUI::SetTextColor(DWORD argb)
{
    m_textColor = argb;
    Invalidate();
}

void CLabelUI::SetTextPadding(const RECT& padding)
{
    m_textPadding = padding;
    Invalidate();
}

void CLabelUI::SetTextStyle(UINT style)
{
    m_textStyle = style;
    Invalidate();
}

void CLabelUI::SetAutoCalcWidth(bool on)
{
    m_autoCalcWidth = on;
    NeedUpdate();
}

void CLabelUI::SetText(const std::wstring& text)
{
    CControlUI::SetText(text);
    if (m_autoCalcWidth) {
        NeedUpdate();
    }
}

int CLabelUI::MeasureTextWidth(const std::wstring& text) const
{
    if (!m_manager) {
        return 0;
    }
    const bool singleLine = (m_textStyle & DT_SINGLELINE) != 0;
    return m_manager->MeasureText(text, m_font, singleLine).cx;
}

SIZE CLabelUI::EstimateSize(SIZE available)
{
    SIZE size = CControlUI::EstimateSize(available);
    if (m_autoCalcWidth) {
        const DpiScale scale = GetScale();
        size.cx = MeasureTextWidth() + scale(m_textPadding.left) + scale(m_textPadding.right);
    }
    return size;
}

bool CLabelUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"font")) {
        m_font = ParseInt(value, -1);
    } else if (EqualsNoCase(name, L"textcolor")) {
        m_textColor = ParseColor(value);
    } else if (EqualsNoCase(name, L"disabledtextcolor")) {
        m_disabledTextColor = ParseColor(value);
    } else if (EqualsNoCase(name, L"textpadding")) {
        m_textPadding = ParseRect(value);
    } else if (EqualsNoCase(name, L"align")) {
        m_textStyle &= ~(DT_LEFT | DT_CENTER | DT_RIGHT);
        if (value.find(L"center") != std::wstring_view::npos) {
            m_textStyle |= DT_CENTER;
        } else if (value.find(L"right") != std::wstring_view::npos) {
            m_textStyle |= DT_RIGHT;
        } else {
            m_textStyle |= DT_LEFT;
        }
        if (value.find(L"top") != std::wstring_view::npos) {
            m_textStyle = (m_textStyle & ~(DT_VCENTER | DT_BOTTOM)) | DT_TOP;
        } else if (value.find(L"bottom") != std::wstring_view::npos) {
            m_textStyle = (m_textStyle & ~(DT_VCENTER | DT_TOP)) | DT_BOTTOM;
        }
    } else if (EqualsNoCase(name, L"valign")) {
        m_textStyle &= ~(DT_TOP | DT_VCENTER | DT_BOTTOM);
        if (EqualsNoCase(value, L"top")) {
            m_textStyle |= DT_TOP;
        } else if (EqualsNoCase(value, L"bottom")) {
            m_textStyle |= DT_BOTTOM;
        } else {
            m_textStyle |= DT_VCENTER;
        }
    } else if (EqualsNoCase(name, L"multiline")) {
        if (ParseBool(value)) {
            m_textStyle = (m_textStyle & ~DT_SINGLELINE) | DT_WORDBREAK | DT_EDITCONTROL;
        } else {
            m_textStyle = (m_textStyle & ~(DT_WORDBREAK | DT_EDITCONTROL)) | DT_SINGLELINE;
        }
    } else if (EqualsNoCase(name, L"endellipsis")) {
        m_textStyle = ParseBool(value) ? (m_textStyle | DT_END_ELLIPSIS) : (m_textStyle & ~DT_END_ELLIPSIS);
    } else if (EqualsNoCase(name, L"autocalcwidth")) {
        m_autoCalcWidth = ParseBool(value);
    } else {
        return CControlUI::SetAttribute(name, value);
    }
    Invalidate();
    return true;
}

DWORD CLabelUI::CurrentTextColor() const
{
    if (!IsEnabled()) {
        return m_disabledTextColor;
    }
    if (m_textColor) {
        return m_textColor;
    }
    return m_manager ? m_manager->GetDefaultTextColor() : 0xFF000000;
}

RECT CLabelUI::TextRect() const
{
    const RECT padding = GetScale().Rect(m_textPadding);
    return RECT { m_rect.left + padding.left, m_rect.top + padding.top, m_rect.right - padding.right,
        m_rect.bottom - padding.bottom };
}

void CLabelUI::PaintText(Painter& painter)
{
    if (!m_manager) {
        return;
    }
    painter.DrawText(TextRect(), m_text, m_manager->GetFont(m_font), CurrentTextColor(), m_textStyle);
}

} // namespace Toolkit
