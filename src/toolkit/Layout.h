#pragma once

#include <windows.h>

#include <vector>

namespace Toolkit {

// What the layout needs to know of one child; kept apart from the controls so the
// arithmetic can be read and tested on its own.
struct LayoutItem {
    bool visible = true;
    bool isFloat = false;
    SIZE fixed {}; // 0 on an axis: takes a share of what is left
    RECT padding {}; // outer margin
    RECT floatPos {}; // relative to the parent's top-left, for floating children
};

enum class Direction { Vertical, Horizontal };

// Places the children one after another along the direction inside `inner`, with
// `childPadding` between neighbours. Fixed sizes are kept (and shrunk only when they do
// not fit); flexible children split the rest evenly. Across the direction a child takes
// its fixed size, or the full inner size. Invisible children get an empty rect.
std::vector<RECT> StackLayout(
    const std::vector<LayoutItem>& items, const RECT& inner, int childPadding, Direction direction);

// Every visible child fills `inner` (minus its padding, or at its fixed size).
std::vector<RECT> OverlayLayout(const std::vector<LayoutItem>& items, const RECT& inner);

// A floating child's rect inside a parent: pos left/top from the parent's corner; a
// right/bottom of 0 takes the fixed size instead.
RECT FloatRect(const LayoutItem& item, const RECT& parent);

} // namespace Toolkit
