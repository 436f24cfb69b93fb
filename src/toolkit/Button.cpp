#include "toolkit/Button.h"

#include "toolkit/Attributes.h"
#include "toolkit/Painter.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

CButtonUI::CButtonUI()
{
    m_textStyle = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX;
}

void* CButtonUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Button") ? this : CLabelUI::GetInterface(name);
}

bool CButtonUI::Activate()
{
    if (!CLabelUI::Activate()) {
        return false;
    }
    SendNotify(L"click");
    return true;
}

void CButtonUI::SetEnabled(bool enabled)
{
    if (!enabled) {
        m_hot = false;
        m_pushed = false;
    }
    CLabelUI::SetEnabled(enabled);
}

void CButtonUI::SetNormalImage(const std::wstring& image)
{
    m_normalImage = ImageRef::Parse(image);
    Invalidate();
}

void CButtonUI::SetHotImage(const std::wstring& image)
{
    m_hotImage = ImageRef::Parse(image);
    Invalidate();
}

void CButtonUI::SetPushedImage(const std::wstring& image)
{
    m_pushedImage = ImageRef::Parse(image);
    Invalidate();
}

void CButtonUI::SetDisabledImage(const std::wstring& image)
{
    m_disabledImage = ImageRef::Parse(image);
    Invalidate();
}

bool CButtonUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"normalimage")) {
        m_normalImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"hotimage")) {
        m_hotImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"pushedimage")) {
        m_pushedImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"disabledimage")) {
        m_disabledImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"focusedimage")) {
        m_focusedImage = ImageRef::Parse(value);
    } else if (EqualsNoCase(name, L"hottextcolor")) {
        m_hotTextColor = ParseColor(value);
    } else if (EqualsNoCase(name, L"pushedtextcolor")) {
        m_pushedTextColor = ParseColor(value);
    } else if (EqualsNoCase(name, L"focuscolor")) {
        m_focusCueColor = ParseColor(value);
    } else {
        return CLabelUI::SetAttribute(name, value);
    }
    Invalidate();
    return true;
}

void CButtonUI::DoEvent(ControlEvent& event)
{
    if (!IsEnabled()) {
        CLabelUI::DoEvent(event);
        return;
    }
    switch (event.type) {
    case EventType::MouseEnter:
        m_hot = true;
        Invalidate();
        break;
    case EventType::MouseLeave:
        m_hot = false;
        Invalidate();
        break;
    case EventType::ButtonDown:
        m_pushed = true;
        Invalidate();
        break;
    case EventType::MouseMove:
        if (m_pushed != (::PtInRect(&m_rect, event.point) != FALSE)) {
            Invalidate();
        }
        break;
    case EventType::ButtonUp: {
        const bool wasPushed = m_pushed;
        m_pushed = false;
        Invalidate();
        if (wasPushed && ::PtInRect(&m_rect, event.point)) {
            Activate();
        }
        break;
    }
    case EventType::KeyDown:
        if (event.wParam == VK_RETURN || event.wParam == VK_SPACE) {
            Activate();
        }
        break;
    case EventType::SetFocus:
    case EventType::KillFocus:
        Invalidate();
        break;
    default:
        CLabelUI::DoEvent(event);
        break;
    }
}

bool CButtonUI::DrawStateImage(Painter& painter, const ImageRef& preferred, const ImageRef& fallback)
{
    if (painter.DrawImage(m_rect, preferred)) {
        return true;
    }
    return painter.DrawImage(m_rect, fallback);
}

void CButtonUI::PaintStatusImage(Painter& painter)
{
    if (!IsEnabled()) {
        // A missing disabled image draws nothing rather than a live-looking button.
        painter.DrawImage(m_rect, m_disabledImage);
        return;
    }
    if (m_pushed && m_hot) {
        DrawStateImage(painter, m_pushedImage, m_normalImage);
    } else if (m_hot || m_pushed) {
        DrawStateImage(painter, m_hotImage, m_normalImage);
    } else if (IsFocused() && !m_focusedImage.empty()) {
        DrawStateImage(painter, m_focusedImage, m_normalImage);
    } else {
        painter.DrawImage(m_rect, m_normalImage);
    }
}

void CButtonUI::PaintText(Painter& painter)
{
    if (!m_manager || m_text.empty()) {
        return;
    }
    DWORD color = CurrentTextColor();
    if (IsEnabled() && m_pushed && m_hot && m_pushedTextColor) {
        color = m_pushedTextColor;
    } else if (IsEnabled() && m_hot && m_hotTextColor) {
        color = m_hotTextColor;
    }
    painter.DrawText(TextRect(), m_text, m_manager->GetFont(m_font), color, m_textStyle);
}

} // namespace Toolkit
