#include "toolkit/TabLayout.h"

#include "toolkit/Attributes.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

void* CTabLayoutUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"TabLayout") ? this : CContainerUI::GetInterface(name);
}

void CTabLayoutUI::ShowSelected()
{
    for (int i = 0; i < GetChildCount(); ++i) {
        GetChildAt(i)->SetVisible(i == m_selected);
    }
}

void CTabLayoutUI::SetManager(PaintManager* manager, CControlUI* parent)
{
    CContainerUI::SetManager(manager, parent);
    ShowSelected();
}

bool CTabLayoutUI::SelectItem(int index)
{
    if (index < 0 || index >= GetChildCount()) {
        return false;
    }
    const int previous = m_selected;
    m_selected = index;
    ShowSelected();
    NeedUpdate();
    if (previous != index && m_manager) {
        m_manager->NotifyAccessible(EVENT_OBJECT_HIDE, GetChildAt(previous));
        m_manager->NotifyAccessible(EVENT_OBJECT_SHOW, GetChildAt(index));
    }
    if (previous != index) {
        SendNotify(L"tabselect", static_cast<WPARAM>(index), previous);
    }
    return true;
}

bool CTabLayoutUI::SelectItem(CControlUI* page)
{
    return SelectItem(GetItemIndex(page));
}

bool CTabLayoutUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"selectedid")) {
        m_selected = ParseInt(value);
        return true;
    }
    return CContainerUI::SetAttribute(name, value);
}

} // namespace Toolkit
