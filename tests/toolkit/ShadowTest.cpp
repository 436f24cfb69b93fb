#include <gtest/gtest.h>

#include <vector>

#include "toolkit/WndShadow.h"

using namespace Toolkit;

namespace {

BYTE Alpha(const std::vector<DWORD>& pixels, int width, int x, int y)
{
    return static_cast<BYTE>(pixels[static_cast<std::size_t>(y * width + x)] >> 24);
}

} // namespace

TEST(WndShadow, FadesOutwardFromTheWindowEdgeInPremultipliedColour)
{
    CWndShadow shadow;
    shadow.SetSize(6);
    shadow.SetSharpness(10);
    shadow.SetDarkness(20);
    shadow.SetPosition(1, 1);
    shadow.SetColor(RGB(0x00, 0x3B, 0x76));
    const int width = 100 + 12;
    const int height = 60 + 12;
    std::vector<DWORD> pixels(static_cast<std::size_t>(width * height));
    shadow.Render(width, height, pixels.data());

    // The window sits at (6-1, 6-1) .. (+100, +60) inside the bitmap.
    EXPECT_EQ(Alpha(pixels, width, 50, 30), 0) << "nothing under the window itself";
    const BYTE atEdge = Alpha(pixels, width, 50, 65); // just below the window's bottom edge
    EXPECT_GT(atEdge, 10);
    EXPECT_LE(atEdge, 20);
    BYTE previous = atEdge;
    for (int y = 66; y < height; ++y) {
        const BYTE a = Alpha(pixels, width, 50, y);
        EXPECT_LE(a, previous) << "row " << y;
        previous = a;
    }
    EXPECT_EQ(Alpha(pixels, width, 0, 0), 0) << "the corner is beyond the shadow's reach";
    // Offset by (1,1): the window covers (5,5)..(105,65), so (5,5) is under it and (4,5) is not.
    EXPECT_EQ(Alpha(pixels, width, 5, 5), 0);
    EXPECT_GT(Alpha(pixels, width, 4, 30), 0);
    EXPECT_GT(Alpha(pixels, width, 105, 30), 0);
    for (DWORD p : pixels) {
        const DWORD a = p >> 24;
        EXPECT_LE((p >> 16) & 0xFF, a);
        EXPECT_LE((p >> 8) & 0xFF, a);
        EXPECT_LE(p & 0xFF, a);
    }
}

TEST(WndShadow, LayeredWindowFollowsItsParent)
{
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 120, 200, 100, nullptr, nullptr,
        ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    CWndShadow shadow;
    shadow.SetSize(6);
    shadow.SetPosition(1, 1);
    if (!CWndShadow::LayeredAlphaBlends()) {
        EXPECT_FALSE(shadow.Create(parent)) << "left out where alpha windows may draw opaque";
    }
    ASSERT_TRUE(shadow.Create(parent, true));
    ASSERT_NE(shadow.GetHWND(), nullptr);
    EXPECT_TRUE(::GetWindowLongW(shadow.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED);
    RECT r;
    ::GetWindowRect(shadow.GetHWND(), &r);
    EXPECT_EQ(r.left, 100 - 6 + 1);
    EXPECT_EQ(r.top, 120 - 6 + 1);
    EXPECT_EQ(r.right - r.left, 212);

    ::SetWindowPos(parent, nullptr, 300, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    shadow.OnParentMessage(WM_WINDOWPOSCHANGED, 0, 0);
    ::GetWindowRect(shadow.GetHWND(), &r);
    EXPECT_EQ(r.left, 300 - 5);
    EXPECT_EQ(r.top, 50 - 5);

    ::ShowWindow(parent, SW_HIDE);
    shadow.OnParentMessage(WM_SHOWWINDOW, FALSE, 0);
    EXPECT_FALSE(::IsWindowVisible(shadow.GetHWND()));
    shadow.OnParentMessage(WM_DESTROY, 0, 0);
    EXPECT_EQ(shadow.GetHWND(), nullptr);
    ::DestroyWindow(parent);
}
