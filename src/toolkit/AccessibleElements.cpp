#include "toolkit/AccessibleElements.h"

#include <oleacc.h>

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/CheckBox.h"
#include "toolkit/Combo.h"
#include "toolkit/Control.h"
#include "toolkit/PaintManager.h"
#include "toolkit/Progress.h"

namespace Toolkit {
namespace {

void Collect(CControlUI* control, std::vector<CControlUI*>& out)
{
    if (!control) {
        return;
    }
    if (AccessibleRole(*control) != 0) {
        out.push_back(control);
    }
    for (int i = 0; i < control->GetChildCount(); ++i) {
        Collect(control->GetChildAt(i), out);
    }
}

bool Is(const CControlUI& control, const wchar_t* name)
{
    return const_cast<CControlUI&>(control).GetInterface(name) != nullptr;
}

bool HoldsValue(const CControlUI& control)
{
    return Is(control, L"Edit") || Is(control, L"Combo");
}

} // namespace

std::vector<CControlUI*> AccessibleChildren(CControlUI* root)
{
    std::vector<CControlUI*> children;
    Collect(root, children);
    return children;
}

LONG AccessibleChildId(CControlUI* root, const CControlUI* control)
{
    const auto children = AccessibleChildren(root);
    const auto it = std::find(children.begin(), children.end(), control);
    return it == children.end() ? CHILDID_SELF : static_cast<LONG>(it - children.begin()) + 1;
}

LONG AccessibleRole(const CControlUI& control)
{
    static const std::pair<const wchar_t*, LONG> named[]
        = { { L"button", ROLE_SYSTEM_PUSHBUTTON }, { L"checkbox", ROLE_SYSTEM_CHECKBUTTON },
              { L"link", ROLE_SYSTEM_LINK }, { L"text", ROLE_SYSTEM_STATICTEXT }, { L"page", ROLE_SYSTEM_PROPERTYPAGE },
              { L"group", ROLE_SYSTEM_GROUPING }, { L"graphic", ROLE_SYSTEM_GRAPHIC }, { L"none", 0 } };
    const std::wstring& asked = control.GetAccRole();
    if (!asked.empty()) {
        for (const auto& [name, role] : named) {
            if (EqualsNoCase(asked, name)) {
                return role;
            }
        }
    }
    if (Is(control, L"Edit")) {
        return ROLE_SYSTEM_TEXT;
    }
    if (Is(control, L"Combo")) {
        return ROLE_SYSTEM_COMBOBOX;
    }
    if (Is(control, L"Progress")) {
        return ROLE_SYSTEM_PROGRESSBAR;
    }
    if (Is(control, L"CheckBox")) {
        return ROLE_SYSTEM_CHECKBUTTON;
    }
    if (Is(control, L"Button")) {
        return ROLE_SYSTEM_PUSHBUTTON;
    }
    if (AccessibleName(control).empty()) {
        return 0;
    }
    return Is(control, L"Label") ? ROLE_SYSTEM_STATICTEXT : ROLE_SYSTEM_GROUPING;
}

std::wstring AccessibleName(const CControlUI& control)
{
    if (!control.GetAccName().empty()) {
        return control.GetAccName();
    }
    if (!HoldsValue(control) && !control.GetText().empty()) {
        return control.GetText();
    }
    return control.GetToolTip();
}

LONG AccessibleState(const CControlUI& control, bool windowFocused)
{
    LONG state = 0;
    if (!control.IsVisible()) {
        state |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
    }
    if (!control.IsEnabled()) {
        state |= STATE_SYSTEM_UNAVAILABLE;
    }
    if (control.IsFocusable() && control.IsVisible() && control.IsEnabled()) {
        state |= STATE_SYSTEM_FOCUSABLE;
        if (windowFocused && control.IsFocused()) {
            state |= STATE_SYSTEM_FOCUSED;
        }
    }
    const LONG role = AccessibleRole(control);
    if (role == ROLE_SYSTEM_CHECKBUTTON) {
        auto* box = static_cast<CCheckBoxUI*>(const_cast<CControlUI&>(control).GetInterface(L"CheckBox"));
        if (box && box->IsSelected()) {
            state |= STATE_SYSTEM_CHECKED;
        }
    } else if (role == ROLE_SYSTEM_LINK) {
        state |= STATE_SYSTEM_LINKED;
    } else if (role == ROLE_SYSTEM_STATICTEXT || role == ROLE_SYSTEM_PROGRESSBAR) {
        state |= STATE_SYSTEM_READONLY;
    }
    return state;
}

std::wstring AccessibleValue(const CControlUI& control)
{
    auto& mutableControl = const_cast<CControlUI&>(control);
    if (auto* bar = static_cast<CProgressUI*>(mutableControl.GetInterface(L"Progress"))) {
        const long long span = bar->GetMaxValue() - bar->GetMinValue();
        const long long share = span > 0 ? (bar->GetValue() - bar->GetMinValue()) * 100LL / span : 0;
        return std::to_wstring(share) + L"%";
    }
    if (auto* combo = static_cast<CComboUI*>(mutableControl.GetInterface(L"Combo"))) {
        return combo->GetItemText(combo->GetCurSel());
    }
    if (Is(control, L"Edit")) {
        return control.GetText();
    }
    return std::wstring();
}

std::wstring AccessibleDefaultAction(const CControlUI& control)
{
    switch (AccessibleRole(control)) {
    case ROLE_SYSTEM_PUSHBUTTON:
        return L"Press";
    case ROLE_SYSTEM_LINK:
        return L"Jump";
    case ROLE_SYSTEM_CHECKBUTTON: {
        auto* box = static_cast<CCheckBoxUI*>(const_cast<CControlUI&>(control).GetInterface(L"CheckBox"));
        return box && box->IsSelected() ? L"Uncheck" : L"Check";
    }
    default:
        return std::wstring();
    }
}

} // namespace Toolkit
