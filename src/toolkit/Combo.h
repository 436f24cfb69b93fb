#pragma once

#include <vector>

#include "toolkit/Handles.h"
#include "toolkit/Label.h"

namespace Toolkit {

// A drop-down list backed by a native combo box. Items come from <Item text=".."/>
// children in the layout or from AddItem; choosing one (by the user or SelectItem)
// sends "itemselect" (wParam: new index, lParam: previous index).
class CComboUI : public CLabelUI {
public:
    std::wstring_view GetClass() const override { return L"Combo"; }
    void* GetInterface(std::wstring_view name) override;

    bool IsFocusable() const override { return true; }
    bool IsInteractive() const override { return true; }
    HWND GetNativeWindow() const override { return m_combo.get(); }

    int AddItem(const std::wstring& text);
    int GetCount() const noexcept { return static_cast<int>(m_items.size()); }
    const std::wstring& GetItemText(int index) const;
    int GetCurSel() const noexcept { return m_selected; }
    bool SelectItem(int index, bool sendNotify = true);

    void DoInit() override;
    void SetPos(const RECT& rect) override;
    void SetVisible(bool visible) override;
    void SetInternVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoEvent(ControlEvent& event) override;
    void OnNativeCommand(UINT code) override;
    ~CComboUI() override;

protected:
    void PaintText(Painter&) override { }
    void PlaceNative();

    UniqueWindow m_combo;
    std::vector<std::wstring> m_items;
    int m_selected = -1;
    int m_dropHeight = 200;
    HFONT m_appliedFont = nullptr;
};

} // namespace Toolkit
