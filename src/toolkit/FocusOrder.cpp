#include "toolkit/FocusOrder.h"

#include <algorithm>

#include "toolkit/Control.h"

namespace Toolkit {
namespace {

void Collect(CControlUI* control, std::vector<CControlUI*>& out)
{
    if (!control || !control->IsVisible()) {
        return;
    }
    if (control->IsFocusable() && control->IsEnabled()) {
        out.push_back(control);
    }
    for (int i = 0; i < control->GetChildCount(); ++i) {
        Collect(control->GetChildAt(i), out);
    }
}

} // namespace

std::vector<CControlUI*> FocusOrder(CControlUI* root)
{
    std::vector<CControlUI*> order;
    Collect(root, order);
    std::stable_sort(order.begin(), order.end(), [](const CControlUI* a, const CControlUI* b) {
        const int ka = a->GetTabIndex() > 0 ? a->GetTabIndex() : 0x7FFFFFFF;
        const int kb = b->GetTabIndex() > 0 ? b->GetTabIndex() : 0x7FFFFFFF;
        return ka < kb;
    });
    return order;
}

CControlUI* NextInFocusOrder(const std::vector<CControlUI*>& order, const CControlUI* current, bool forward)
{
    if (order.empty()) {
        return nullptr;
    }
    const auto it = std::find(order.begin(), order.end(), current);
    if (it == order.end()) {
        return forward ? order.front() : order.back();
    }
    const std::size_t index = static_cast<std::size_t>(it - order.begin());
    return order[forward ? (index + 1) % order.size() : (index + order.size() - 1) % order.size()];
}

} // namespace Toolkit
