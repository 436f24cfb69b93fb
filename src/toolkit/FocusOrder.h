#pragma once

#include <vector>

namespace Toolkit {

class CControlUI;

// The controls Tab visits, in order: visible, enabled and focusable ones; those with a
// positive tab index first (ascending), then the rest in tree order.
std::vector<CControlUI*> FocusOrder(CControlUI* root);

// The control Tab (forward) or Shift+Tab moves to from current (which may be outside the
// order, or nullptr); nullptr when nothing can take the focus.
CControlUI* NextInFocusOrder(const std::vector<CControlUI*>& order, const CControlUI* current, bool forward);

} // namespace Toolkit
