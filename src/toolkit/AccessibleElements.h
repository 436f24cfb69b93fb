#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Toolkit {

class CControlUI;

// How a window's controls look to a screen reader: the controls that get a role become
// children of the window's accessible object, in tree order (child id = index + 1), hidden
// ones included so ids stay put when pages change.
std::vector<CControlUI*> AccessibleChildren(CControlUI* root);
// The control's child id, or CHILDID_SELF (0) when it is not exposed.
LONG AccessibleChildId(CControlUI* root, const CControlUI* control);

// ROLE_SYSTEM_* of a control, or 0 when it is not exposed: the layout's "accrole" wins,
// else the class decides (labels and plain controls only when they have a name or text).
LONG AccessibleRole(const CControlUI& control);
// "accname", else the text (not for edits and lists, whose text is their value), else the
// tooltip.
std::wstring AccessibleName(const CControlUI& control);
// STATE_SYSTEM_* flags; focused only while the window holds the keyboard focus.
LONG AccessibleState(const CControlUI& control, bool windowFocused);
// The progress share ("16%"), an edit's text, a list's choice; empty for the rest.
std::wstring AccessibleValue(const CControlUI& control);
// Empty when the control has no default action.
std::wstring AccessibleDefaultAction(const CControlUI& control);

} // namespace Toolkit
