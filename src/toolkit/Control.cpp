#include "toolkit/Control.h"

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/Painter.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

CControlUI::~CControlUI()
{
    if (m_manager) {
        m_manager->ReapControl(this);
    }
}

void* CControlUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Control") ? this : nullptr;
}

void CControlUI::SetManager(PaintManager* manager, CControlUI* parent)
{
    m_manager = manager;
    m_parent = parent;
}

void CControlUI::SetText(const std::wstring& text)
{
    if (m_text == text) {
        return;
    }
    m_text = text;
    Invalidate();
    if (m_manager) {
        m_manager->NotifyAccessible(EVENT_OBJECT_NAMECHANGE, this);
    }
}

void CControlUI::SetPos(const RECT& rect)
{
    if (::EqualRect(&rect, &m_rect)) {
        return;
    }
    Invalidate();
    m_rect = rect;
    Invalidate();
}

void CControlUI::SetFixedWidth(int width)
{
    if (width < 0 || width == m_fixed.cx) {
        return;
    }
    m_fixed.cx = width;
    NeedUpdate();
}

void CControlUI::SetFixedHeight(int height)
{
    if (height < 0 || height == m_fixed.cy) {
        return;
    }
    m_fixed.cy = height;
    NeedUpdate();
}

void CControlUI::SetPadding(const RECT& padding)
{
    m_padding = padding;
    NeedUpdate();
}

DpiScale CControlUI::GetScale() const noexcept
{
    return m_manager ? m_manager->GetScale() : DpiScale {};
}

SIZE CControlUI::EstimateSize(SIZE)
{
    return GetScale().Size(m_fixed);
}

void CControlUI::SetVisible(bool visible)
{
    if (m_visible == visible) {
        return;
    }
    m_visible = visible;
    if (!IsVisible() && m_manager && IsFocused()) {
        m_manager->SetFocus(nullptr);
    }
    NeedUpdate();
}

void CControlUI::SetInternVisible(bool visible)
{
    m_internVisible = visible;
    if (!IsVisible() && m_manager && IsFocused()) {
        m_manager->SetFocus(nullptr);
    }
}

void CControlUI::SetEnabled(bool enabled)
{
    if (m_enabled == enabled) {
        return;
    }
    m_enabled = enabled;
    if (!enabled && m_manager && IsFocused()) {
        m_manager->SetFocus(nullptr);
    }
    Invalidate();
}

bool CControlUI::IsFocused() const
{
    return m_manager && m_manager->GetFocus() == this;
}

void CControlUI::SetFocus()
{
    if (m_manager) {
        m_manager->SetFocus(this);
    }
}

bool CControlUI::Activate()
{
    return IsVisible() && IsEnabled();
}

void CControlUI::SetBkColor(DWORD argb)
{
    m_bkColor = argb;
    Invalidate();
}

void CControlUI::SetBkImage(const std::wstring& image)
{
    if (image == m_bkImageText) {
        return;
    }
    m_bkImageText = image;
    m_bkImage = ImageRef::Parse(image);
    Invalidate();
}

bool CControlUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"name")) {
        m_name = value;
    } else if (EqualsNoCase(name, L"text")) {
        SetText(std::wstring(value));
    } else if (EqualsNoCase(name, L"textid")) {
        m_textId = value;
    } else if (EqualsNoCase(name, L"tooltip")) {
        m_toolTip = value;
    } else if (EqualsNoCase(name, L"accname")) {
        m_accName = value;
    } else if (EqualsNoCase(name, L"accnameid")) {
        m_accNameId = value;
    } else if (EqualsNoCase(name, L"accrole")) {
        m_accRole = value;
    } else if (EqualsNoCase(name, L"tabindex")) {
        m_tabIndex = ParseInt(value);
    } else if (EqualsNoCase(name, L"userdata")) {
        m_userData = value;
    } else if (EqualsNoCase(name, L"width")) {
        SetFixedWidth(ParseInt(value));
    } else if (EqualsNoCase(name, L"height")) {
        SetFixedHeight(ParseInt(value));
    } else if (EqualsNoCase(name, L"padding")) {
        SetPadding(ParseRect(value));
    } else if (EqualsNoCase(name, L"float")) {
        m_float = ParseBool(value);
    } else if (EqualsNoCase(name, L"pos")) {
        m_floatPos = ParseRect(value);
        if (m_floatPos.right > m_floatPos.left) {
            m_fixed.cx = m_floatPos.right - m_floatPos.left;
        }
        if (m_floatPos.bottom > m_floatPos.top) {
            m_fixed.cy = m_floatPos.bottom - m_floatPos.top;
        }
    } else if (EqualsNoCase(name, L"bkcolor")) {
        SetBkColor(ParseColor(value));
    } else if (EqualsNoCase(name, L"bkimage")) {
        SetBkImage(std::wstring(value));
    } else if (EqualsNoCase(name, L"bordercolor")) {
        m_borderColor = ParseColor(value);
    } else if (EqualsNoCase(name, L"bordersize")) {
        m_borderSize = ParseInt(value);
    } else if (EqualsNoCase(name, L"borderround")) {
        m_borderRound = ParseSize(value);
    } else if (EqualsNoCase(name, L"visible")) {
        SetVisible(ParseBool(value));
    } else if (EqualsNoCase(name, L"enabled")) {
        SetEnabled(ParseBool(value));
    } else if (EqualsNoCase(name, L"mouse")) {
        m_mouseEnabled = ParseBool(value);
    } else {
        return false;
    }
    return true;
}

void CControlUI::DoPaint(Painter& painter, const RECT& dirty)
{
    RECT overlap;
    if (!::IntersectRect(&overlap, &dirty, &m_rect)) {
        return;
    }
    PaintBkColor(painter);
    PaintBkImage(painter);
    PaintStatusImage(painter);
    PaintText(painter);
    PaintBorder(painter);
}

void CControlUI::PaintBkColor(Painter& painter)
{
    painter.FillColor(m_rect, m_bkColor);
}

void CControlUI::PaintBkImage(Painter& painter)
{
    painter.DrawImage(m_rect, m_bkImage);
}

void CControlUI::PaintStatusImage(Painter&) { }

void CControlUI::PaintText(Painter&) { }

void CControlUI::PaintBorder(Painter& painter)
{
    const DpiScale scale = GetScale();
    painter.DrawBorder(
        m_rect, m_borderColor, m_borderSize > 0 ? std::max(1, scale(m_borderSize)) : 0, scale.Size(m_borderRound));
}

void CControlUI::DoEvent(ControlEvent& event)
{
    if (event.type == EventType::Timer) {
        SendNotify(L"timer", event.wParam, event.lParam);
    }
}

CControlUI* CControlUI::FindControlAt(POINT point)
{
    if (!IsVisible() || !m_mouseEnabled || !::PtInRect(&m_rect, point)) {
        return nullptr;
    }
    return this;
}

CControlUI* CControlUI::FindControl(std::wstring_view name)
{
    if (m_name == name) {
        return this;
    }
    for (int i = 0; i < GetChildCount(); ++i) {
        if (CControlUI* found = GetChildAt(i)->FindControl(name)) {
            return found;
        }
    }
    return nullptr;
}

void CControlUI::Invalidate()
{
    if (m_manager && m_rect.right > m_rect.left && m_rect.bottom > m_rect.top) {
        m_manager->Invalidate(m_rect);
    }
}

void CControlUI::NeedUpdate()
{
    if (m_manager) {
        m_manager->NeedUpdate();
    }
}

bool CControlUI::SetTimer(UINT id, UINT elapseMs)
{
    return m_manager && m_manager->SetTimer(this, id, elapseMs);
}

void CControlUI::KillTimer(UINT id)
{
    if (m_manager) {
        m_manager->KillTimer(this, id);
    }
}

void CControlUI::SendNotify(const wchar_t* type, WPARAM wParam, LPARAM lParam, bool async)
{
    if (m_manager) {
        m_manager->SendNotify(this, type, wParam, lParam, async);
    }
}

} // namespace Toolkit
