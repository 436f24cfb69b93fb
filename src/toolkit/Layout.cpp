#include "toolkit/Layout.h"

namespace Toolkit {
namespace {

int Along(const SIZE& s, Direction d)
{
    return d == Direction::Vertical ? s.cy : s.cx;
}
int Across(const SIZE& s, Direction d)
{
    return d == Direction::Vertical ? s.cx : s.cy;
}
int LeadPad(const RECT& p, Direction d)
{
    return d == Direction::Vertical ? p.top : p.left;
}
int TrailPad(const RECT& p, Direction d)
{
    return d == Direction::Vertical ? p.bottom : p.right;
}
int CrossLeadPad(const RECT& p, Direction d)
{
    return d == Direction::Vertical ? p.left : p.top;
}
int CrossTrailPad(const RECT& p, Direction d)
{
    return d == Direction::Vertical ? p.right : p.bottom;
}

} // namespace

RECT FloatRect(const LayoutItem& item, const RECT& parent)
{
    RECT r;
    r.left = parent.left + item.floatPos.left;
    r.top = parent.top + item.floatPos.top;
    r.right = item.floatPos.right > item.floatPos.left ? parent.left + item.floatPos.right : r.left + item.fixed.cx;
    r.bottom = item.floatPos.bottom > item.floatPos.top ? parent.top + item.floatPos.bottom : r.top + item.fixed.cy;
    return r;
}

std::vector<RECT> StackLayout(const std::vector<LayoutItem>& items, const RECT& inner, int childPadding, Direction d)
{
    std::vector<RECT> rects(items.size(), RECT {});
    const bool vertical = d == Direction::Vertical;
    const int available = vertical ? inner.bottom - inner.top : inner.right - inner.left;
    const int crossAvailable = vertical ? inner.right - inner.left : inner.bottom - inner.top;

    int fixedTotal = 0;
    int flexibleCount = 0;
    int placedCount = 0;
    for (const auto& item : items) {
        if (!item.visible || item.isFloat) {
            continue;
        }
        ++placedCount;
        fixedTotal += LeadPad(item.padding, d) + TrailPad(item.padding, d) + Along(item.fixed, d);
        if (Along(item.fixed, d) <= 0) {
            ++flexibleCount;
        }
    }
    if (placedCount > 1) {
        fixedTotal += childPadding * (placedCount - 1);
    }
    int rest = available - fixedTotal;
    if (rest < 0) {
        rest = 0;
    }
    const int share = flexibleCount ? rest / flexibleCount : 0;
    int remainder = flexibleCount ? rest - share * flexibleCount : 0;

    int cursor = vertical ? inner.top : inner.left;
    const int limit = vertical ? inner.bottom : inner.right;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& item = items[i];
        if (!item.visible) {
            continue;
        }
        if (item.isFloat) {
            rects[i] = FloatRect(item, inner);
            continue;
        }
        cursor += LeadPad(item.padding, d);
        int length = Along(item.fixed, d);
        if (length <= 0) {
            length = share;
            // The last flexible child takes the pixels an even split leaves over.
            if (--flexibleCount == 0) {
                length += remainder;
                remainder = 0;
            }
        }
        if (cursor + length > limit) {
            length = limit > cursor ? limit - cursor : 0;
        }
        const int crossLead = CrossLeadPad(item.padding, d);
        int crossLength = Across(item.fixed, d);
        const int crossRoom = crossAvailable - crossLead - CrossTrailPad(item.padding, d);
        if (crossLength <= 0 || crossLength > crossRoom) {
            crossLength = crossRoom > 0 ? crossRoom : 0;
        }
        if (vertical) {
            rects[i] = RECT { inner.left + crossLead, cursor, inner.left + crossLead + crossLength, cursor + length };
        } else {
            rects[i] = RECT { cursor, inner.top + crossLead, cursor + length, inner.top + crossLead + crossLength };
        }
        cursor += length + TrailPad(item.padding, d) + childPadding;
    }
    return rects;
}

std::vector<RECT> OverlayLayout(const std::vector<LayoutItem>& items, const RECT& inner)
{
    std::vector<RECT> rects(items.size(), RECT {});
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& item = items[i];
        if (!item.visible) {
            continue;
        }
        if (item.isFloat) {
            rects[i] = FloatRect(item, inner);
            continue;
        }
        RECT r { inner.left + item.padding.left, inner.top + item.padding.top, inner.right - item.padding.right,
            inner.bottom - item.padding.bottom };
        if (item.fixed.cx > 0 && item.fixed.cx < r.right - r.left) {
            r.right = r.left + item.fixed.cx;
        }
        if (item.fixed.cy > 0 && item.fixed.cy < r.bottom - r.top) {
            r.bottom = r.top + item.fixed.cy;
        }
        rects[i] = r;
    }
    return rects;
}

} // namespace Toolkit
