#include "toolkit/Container.h"

#include "toolkit/Attributes.h"
#include "toolkit/Painter.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

void* CContainerUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Container") ? this : CControlUI::GetInterface(name);
}

bool CContainerUI::Add(CControlUI* child)
{
    if (!child) {
        return false;
    }
    m_items.emplace_back(child);
    child->SetInternVisible(IsVisible());
    if (m_manager) {
        m_manager->InitControls(child, this);
    }
    NeedUpdate();
    return true;
}

bool CContainerUI::Remove(CControlUI* child)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        if (it->get() == child) {
            m_items.erase(it);
            NeedUpdate();
            return true;
        }
    }
    return false;
}

CControlUI* CContainerUI::GetChildAt(int index) const
{
    return index >= 0 && index < GetChildCount() ? m_items[static_cast<std::size_t>(index)].get() : nullptr;
}

int CContainerUI::GetItemIndex(const CControlUI* child) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == child) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CContainerUI::SetManager(PaintManager* manager, CControlUI* parent)
{
    CControlUI::SetManager(manager, parent);
    for (auto& item : m_items) {
        item->SetManager(manager, this);
    }
}

void CContainerUI::SetVisible(bool visible)
{
    CControlUI::SetVisible(visible);
    for (auto& item : m_items) {
        item->SetInternVisible(IsVisible());
    }
}

void CContainerUI::SetInternVisible(bool visible)
{
    CControlUI::SetInternVisible(visible);
    for (auto& item : m_items) {
        item->SetInternVisible(IsVisible());
    }
}

bool CContainerUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"inset")) {
        m_inset = ParseRect(value);
        NeedUpdate();
    } else if (EqualsNoCase(name, L"childpadding")) {
        m_childPadding = ParseInt(value);
        NeedUpdate();
    } else {
        return CControlUI::SetAttribute(name, value);
    }
    return true;
}

RECT CContainerUI::InnerRect() const
{
    const RECT inset = GetScale().Rect(m_inset);
    return RECT { m_rect.left + inset.left, m_rect.top + inset.top, m_rect.right - inset.right,
        m_rect.bottom - inset.bottom };
}

std::vector<LayoutItem> CContainerUI::LayoutItems(SIZE available)
{
    const DpiScale scale = GetScale();
    std::vector<LayoutItem> items;
    items.reserve(m_items.size());
    for (auto& child : m_items) {
        LayoutItem item;
        item.visible = child->IsOwnVisible();
        item.isFloat = child->IsFloat();
        item.fixed = child->EstimateSize(available);
        item.padding = scale.Rect(child->GetPadding());
        item.floatPos = scale.Rect(child->GetFloatPos());
        items.push_back(item);
    }
    return items;
}

std::vector<RECT> CContainerUI::ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner)
{
    return OverlayLayout(items, inner);
}

void CContainerUI::SetPos(const RECT& rect)
{
    CControlUI::SetPos(rect);
    const RECT inner = InnerRect();
    const auto items = LayoutItems(SIZE { inner.right - inner.left, inner.bottom - inner.top });
    const auto rects = ArrangeChildren(items, inner);
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (items[i].visible) {
            m_items[i]->SetPos(rects[i]);
        }
    }
}

void CContainerUI::DoPaint(Painter& painter, const RECT& dirty)
{
    RECT overlap;
    if (!::IntersectRect(&overlap, &dirty, &m_rect)) {
        return;
    }
    CControlUI::DoPaint(painter, dirty);
    Painter::Clip clip(painter, overlap);
    for (auto& item : m_items) {
        if (item->IsVisible()) {
            item->DoPaint(painter, overlap);
        }
    }
}

CControlUI* CContainerUI::FindControlAt(POINT point)
{
    if (!IsVisible() || !::PtInRect(&m_rect, point)) {
        return nullptr;
    }
    for (auto it = m_items.rbegin(); it != m_items.rend(); ++it) {
        if (CControlUI* found = (*it)->FindControlAt(point)) {
            return found;
        }
    }
    return m_mouseEnabled ? this : nullptr;
}

void* CVerticalLayoutUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"VerticalLayout") ? this : CContainerUI::GetInterface(name);
}

std::vector<RECT> CVerticalLayoutUI::ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner)
{
    return StackLayout(items, inner, GetScale()(m_childPadding), Direction::Vertical);
}

void* CHorizontalLayoutUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"HorizontalLayout") ? this : CContainerUI::GetInterface(name);
}

std::vector<RECT> CHorizontalLayoutUI::ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner)
{
    return StackLayout(items, inner, GetScale()(m_childPadding), Direction::Horizontal);
}

} // namespace Toolkit
