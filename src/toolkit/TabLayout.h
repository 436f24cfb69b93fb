#pragma once

#include "toolkit/Container.h"

namespace Toolkit {

// Shows one child (page) at a time. Selecting another page sends "tabselect"
// (wParam: new index, lParam: previous index).
class CTabLayoutUI : public CContainerUI {
public:
    std::wstring_view GetClass() const override { return L"TabLayout"; }
    void* GetInterface(std::wstring_view name) override;

    int GetCurSel() const noexcept { return m_selected; }
    bool SelectItem(int index);
    bool SelectItem(CControlUI* page);

    void SetManager(PaintManager* manager, CControlUI* parent) override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

private:
    void ShowSelected();
    int m_selected = 0;
};

} // namespace Toolkit
