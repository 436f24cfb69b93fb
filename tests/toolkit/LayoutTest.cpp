#include <gtest/gtest.h>

#include "toolkit/Layout.h"

using namespace Toolkit;

namespace {

LayoutItem Fixed(int cx, int cy)
{
    LayoutItem item;
    item.fixed = SIZE { cx, cy };
    return item;
}

void ExpectRect(const RECT& r, int l, int t, int rr, int b)
{
    EXPECT_EQ(r.left, l);
    EXPECT_EQ(r.top, t);
    EXPECT_EQ(r.right, rr);
    EXPECT_EQ(r.bottom, b);
}

} // namespace

TEST(StackLayout, FlexibleChildrenShareWhatFixedOnesLeave)
{
    // [10][flex][62 x 26][10] across 600, like a title bar.
    std::vector<LayoutItem> items { Fixed(10, 0), LayoutItem {}, Fixed(62, 26), Fixed(10, 0) };
    const auto rects = StackLayout(items, RECT { 0, 10, 600, 45 }, 0, Direction::Horizontal);
    ExpectRect(rects[0], 0, 10, 10, 45);
    ExpectRect(rects[1], 10, 10, 528, 45);
    ExpectRect(rects[2], 528, 10, 590, 36);
    ExpectRect(rects[3], 590, 10, 600, 45);
}

TEST(StackLayout, OddRemainderGoesToTheLastFlexibleChild)
{
    std::vector<LayoutItem> items { LayoutItem {}, Fixed(0, 0), LayoutItem {} };
    items[1].fixed = SIZE { 0, 0 };
    const auto rects = StackLayout(items, RECT { 0, 0, 100, 10 }, 0, Direction::Horizontal);
    EXPECT_EQ(rects[0].right - rects[0].left, 33);
    EXPECT_EQ(rects[1].right - rects[1].left, 33);
    EXPECT_EQ(rects[2].right - rects[2].left, 34);
    EXPECT_EQ(rects[2].right, 100);
}

TEST(StackLayout, PaddingChildPaddingHiddenAndFloatingChildren)
{
    LayoutItem padded = Fixed(50, 20);
    padded.padding = RECT { 5, 3, 0, 7 };
    LayoutItem hidden = Fixed(0, 40);
    hidden.visible = false;
    LayoutItem floating = Fixed(30, 30);
    floating.isFloat = true;
    floating.floatPos = RECT { 100, 10, 0, 0 };
    std::vector<LayoutItem> items { padded, hidden, Fixed(0, 30), floating, LayoutItem {} };
    const auto rects = StackLayout(items, RECT { 0, 0, 200, 100 }, 4, Direction::Vertical);
    ExpectRect(rects[0], 5, 3, 55, 23);
    ExpectRect(rects[1], 0, 0, 0, 0);
    ExpectRect(rects[2], 0, 34, 200, 64); // 23 + 7 padding + 4 gap
    ExpectRect(rects[3], 100, 10, 130, 40); // floats ignore the flow
    ExpectRect(rects[4], 0, 68, 200, 100); // the rest
}

TEST(StackLayout, TooLittleRoomShrinksInsteadOfOverflowing)
{
    std::vector<LayoutItem> items { Fixed(0, 60), Fixed(0, 60), LayoutItem {} };
    const auto rects = StackLayout(items, RECT { 0, 0, 10, 100 }, 0, Direction::Vertical);
    ExpectRect(rects[0], 0, 0, 10, 60);
    ExpectRect(rects[1], 0, 60, 10, 100);
    EXPECT_EQ(rects[2].bottom - rects[2].top, 0);
    EXPECT_LE(rects[2].bottom, 100);
}

TEST(OverlayLayout, ChildrenFillTheInnerRectAtTheirFixedSize)
{
    std::vector<LayoutItem> items { LayoutItem {}, Fixed(20, 10) };
    items[0].padding = RECT { 1, 2, 3, 4 };
    const auto rects = OverlayLayout(items, RECT { 10, 10, 110, 60 });
    ExpectRect(rects[0], 11, 12, 107, 56);
    ExpectRect(rects[1], 10, 10, 30, 20);
}
