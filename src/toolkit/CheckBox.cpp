#include "toolkit/CheckBox.h"

#include "toolkit/Attributes.h"
#include "toolkit/Painter.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

void* CCheckBoxUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"CheckBox") ? this : CButtonUI::GetInterface(name);
}

void CCheckBoxUI::Selected(bool selected, bool sendNotify)
{
    if (m_selected == selected) {
        return;
    }
    m_selected = selected;
    Invalidate();
    if (m_manager) {
        m_manager->NotifyAccessible(EVENT_OBJECT_STATECHANGE, this);
    }
    if (sendNotify) {
        SendNotify(L"selectchanged", selected ? 1 : 0);
    }
}

bool CCheckBoxUI::Activate()
{
    if (!CLabelUI::Activate()) {
        return false;
    }
    SendNotify(L"click");
    Selected(!m_selected);
    return true;
}

bool CCheckBoxUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"selected")) {
        Selected(ParseBool(value), false);
    } else if (EqualsNoCase(name, L"selectedimage")) {
        m_selectedImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"selectedhotimage")) {
        m_selectedHotImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"selectedpushedimage")) {
        m_selectedPushedImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"selecteddisabledimage")) {
        m_selectedDisabledImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"selectedtextcolor")) {
        m_selectedTextColor = ParseColor(value);
    } else {
        return CButtonUI::SetAttribute(name, value);
    }
    Invalidate();
    return true;
}

void CCheckBoxUI::PaintStatusImage(Painter& painter)
{
    if (!m_selected) {
        CButtonUI::PaintStatusImage(painter);
        return;
    }
    if (!IsEnabled()) {
        painter.DrawImage(m_rect, m_selectedDisabledImage);
    } else if (m_pushed && m_hot) {
        if (!DrawStateImage(painter, m_selectedPushedImage, m_selectedHotImage)) {
            painter.DrawImage(m_rect, m_selectedImage);
        }
    } else if (m_hot) {
        DrawStateImage(painter, m_selectedHotImage, m_selectedImage);
    } else {
        painter.DrawImage(m_rect, m_selectedImage);
    }
}

DWORD CCheckBoxUI::SelectedTextColor() const
{
    return m_selected && IsEnabled() && m_selectedTextColor ? m_selectedTextColor : CurrentTextColor();
}

void CCheckBoxUI::PaintText(Painter& painter)
{
    if (!m_manager || m_text.empty()) {
        return;
    }
    DWORD color = SelectedTextColor();
    if (IsEnabled() && m_hot && m_hotTextColor) {
        color = m_hotTextColor;
    }
    painter.DrawText(TextRect(), m_text, m_manager->GetFont(m_font), color, m_textStyle);
}

} // namespace Toolkit
