#pragma once

#include <memory>
#include <vector>

#include "toolkit/Control.h"
#include "toolkit/Layout.h"

namespace Toolkit {

// Holds children; each fills the inner rect (rect minus inset) unless it floats.
class CContainerUI : public CControlUI {
public:
    std::wstring_view GetClass() const override { return L"Container"; }
    void* GetInterface(std::wstring_view name) override;

    bool Add(CControlUI* child); // takes ownership
    bool Remove(CControlUI* child); // destroys it
    int GetChildCount() const override { return static_cast<int>(m_items.size()); }
    CControlUI* GetChildAt(int index) const override;
    int GetItemIndex(const CControlUI* child) const;

    const RECT& GetInset() const noexcept { return m_inset; }
    int GetChildPadding() const noexcept { return m_childPadding; }

    void SetManager(PaintManager* manager, CControlUI* parent) override;
    void SetPos(const RECT& rect) override;
    void SetVisible(bool visible) override;
    void SetInternVisible(bool visible) override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoPaint(Painter& painter, const RECT& dirty) override;
    CControlUI* FindControlAt(POINT point) override;

protected:
    RECT InnerRect() const;
    std::vector<LayoutItem> LayoutItems(SIZE available);
    virtual std::vector<RECT> ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner);

    std::vector<std::unique_ptr<CControlUI>> m_items;
    RECT m_inset {};
    int m_childPadding = 0;
};

class CVerticalLayoutUI : public CContainerUI {
public:
    std::wstring_view GetClass() const override { return L"VerticalLayout"; }
    void* GetInterface(std::wstring_view name) override;

protected:
    std::vector<RECT> ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner) override;
};

class CHorizontalLayoutUI : public CContainerUI {
public:
    std::wstring_view GetClass() const override { return L"HorizontalLayout"; }
    void* GetInterface(std::wstring_view name) override;

protected:
    std::vector<RECT> ArrangeChildren(const std::vector<LayoutItem>& items, const RECT& inner) override;
};

} // namespace Toolkit
