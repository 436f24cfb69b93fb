// Every window at the display scale it is shown at: size, control rects, fonts, and a new
// layout when the scale changes. The suite runs at 96 dpi and again in prefixes set to
// 144 and 192 dpi (VLM_EXPECT_DPI names the scale the prefix was given).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "toolkit/Handles.h"
#include "toolkit/TabLayout.h"

using namespace GuiDriver;

namespace {

UINT ExpectedDpi()
{
    const char* value = std::getenv("VLM_EXPECT_DPI");
    return value && *value ? static_cast<UINT>(std::atoi(value)) : 96u;
}

struct Snapshot {
    SIZE client {};
    std::vector<std::pair<std::wstring, RECT>> rects; // every visible control by tree path
    int inkHeight = 0; // rows of the probe label's rect that hold dark text pixels
};

void CollectRects(Toolkit::CControlUI* control, const std::wstring& path, Snapshot& out)
{
    if (!control->IsVisible()) {
        return;
    }
    out.rects.emplace_back(path + L":" + control->GetName(), control->GetPos());
    for (int i = 0; i < control->GetChildCount(); ++i) {
        CollectRects(control->GetChildAt(i), path + L"/" + std::to_wstring(i), out);
    }
}

// Paints the window into a bitmap and counts the rows of the label's rect with text ink.
int InkHeight(CDuiFrame& frame, const wchar_t* label)
{
    Toolkit::CControlUI* control = frame.FindControl(label);
    RECT client;
    ::GetClientRect(frame, &client);
    if (!control || client.right <= 0 || client.bottom <= 0) {
        return -1;
    }
    Toolkit::WindowDc screen(nullptr);
    Toolkit::UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info {};
    info.bmiHeader = { sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB };
    void* bits = nullptr;
    Toolkit::UniqueBitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) {
        return -1;
    }
    Toolkit::SelectedObject selected(dc.get(), bitmap.get());
    frame.GetPaintManager().PaintInto(dc.get());
    ::GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    const RECT& r = control->GetPos();
    int rows = 0;
    for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, client.bottom); ++y) {
        for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, client.right); ++x) {
            const DWORD p = pixels[y * client.right + x];
            if (((p >> 16) & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80 && (p & 0xFF) < 0x80) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

Snapshot Take(CDuiFrame& frame, const wchar_t* label)
{
    frame.GetPaintManager().UpdateLayout();
    Snapshot shot;
    RECT client;
    ::GetClientRect(frame, &client);
    shot.client = SIZE { client.right, client.bottom };
    CollectRects(frame.GetPaintManager().GetRoot(), L"", shot);
    shot.inkHeight = InkHeight(frame, label);
    return shot;
}

// Posts what Windows sends when the window moves to a display of another scale (Wine never
// sends it) and waits until the window has taken the suggested size.
bool PostDpiChange(CDuiFrame& frame, UINT dpi, SIZE base)
{
    RECT window;
    ::GetWindowRect(frame, &window);
    const RECT suggested { window.left, window.top, window.left + ::MulDiv(base.cx, static_cast<int>(dpi), 96),
        window.top + ::MulDiv(base.cy, static_cast<int>(dpi), 96) };
    if (!::PostMessageW(frame, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested))) {
        return false;
    }
    return PumpUntil(
        [&] {
            RECT client;
            ::GetClientRect(frame, &client);
            return frame.GetPaintManager().GetScale().dpi == dpi && client.right == suggested.right - suggested.left
                && client.bottom == suggested.bottom - suggested.top;
        },
        3000);
}

::testing::AssertionResult ScaledFrom(const Snapshot& scaled, const Snapshot& base, UINT dpi)
{
    const Toolkit::DpiScale scale { dpi };
    if (scaled.client.cx != scale(base.client.cx) || scaled.client.cy != scale(base.client.cy)) {
        return ::testing::AssertionFailure() << "client " << scaled.client.cx << "x" << scaled.client.cy;
    }
    if (scaled.rects.size() != base.rects.size()) {
        return ::testing::AssertionFailure() << scaled.rects.size() << " controls, " << base.rects.size() << " at 96";
    }
    for (std::size_t i = 0; i < base.rects.size(); ++i) {
        const auto& [name, r] = scaled.rects[i];
        const RECT want = scale.Rect(base.rects[i].second);
        if (name != base.rects[i].first || std::abs(r.left - want.left) > 1 || std::abs(r.top - want.top) > 1
            || std::abs(r.right - want.right) > 1 || std::abs(r.bottom - want.bottom) > 1) {
            return ::testing::AssertionFailure()
                << std::string(name.begin(), name.end()) << " at (" << r.left << "," << r.top << "," << r.right << ","
                << r.bottom << "), expected about (" << want.left << "," << want.top << "," << want.right << ","
                << want.bottom << ")";
        }
    }
    // Glyphs grow with the font: the label's ink is the 96-dpi ink times the scale.
    const int wantInk = scale(base.inkHeight);
    if (base.inkHeight <= 0 || std::abs(scaled.inkHeight - wantInk) > 2) {
        return ::testing::AssertionFailure() << "text ink " << scaled.inkHeight << " rows, expected about " << wantInk
                                             << " (96 dpi: " << base.inkHeight << ")";
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(DpiScaleGui, EveryWindowScalesItsLayoutAndFollowsAScaleChange)
{
    struct Case {
        const wchar_t* file;
        SIZE size; // the layout's, at 96 dpi
        const wchar_t* label; // a label with dark text
        int page; // main window page to show, or -1
    };
    const Case cases[] = {
        { L"MainWnd.xml", { 600, 400 }, L"lbInstallPath", 1 },
        { L"MessageBox1Wnd.xml", { 400, 180 }, L"captionLbl", -1 },
        { L"MessageBox2Wnd.xml", { 400, 180 }, L"captionLbl", -1 },
        { L"NetworkTipWnd.xml", { 400, 180 }, L"titleLbl", -1 },
        { L"InstalledPathTipWnd.xml", { 400, 180 }, L"titleLbl", -1 },
        { L"ExitTipWnd.xml", { 400, 180 }, L"titleLbl", -1 },
    };
    const UINT dpi = ExpectedDpi();
    const Backdrop backdrop;
    const UINT other = dpi == 192 ? 144 : 192;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + wcslen(c.file)));
        CDuiFrame frame(FrameParams::ForSkinFile(c.file));
        ASSERT_NE(frame.Create(nullptr, L"scaled", WS_POPUP, 0), nullptr);
        ASSERT_EQ(frame.GetPaintManager().GetScale().dpi, dpi) << "the window reads the display's scale";
        if (c.page >= 0) {
            auto* tabs = frame.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
            ASSERT_NE(tabs, nullptr);
            tabs->SelectItem(c.page);
        }
        if (c.page < 0 && std::getenv("VLM_SCREENSHOT_TAG")) {
            // Runs at another scale keep a picture of every message window as it shows.
            for (const wchar_t* name : { L"captionLbl", L"textLbl" }) {
                if (Toolkit::CControlUI* label = frame.FindControl(name)) {
                    label->SetText(name[0] == L'c' ? L"温馨提示" : L"当前网络环境较差，请在网络通畅时进行重试");
                }
            }
            ::SetWindowPos(frame, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
            PumpUntil([] { return false; }, 150);
            std::wstring shot = std::wstring(c.file).substr(0, wcslen(c.file) - 4) + L".png";
            EXPECT_FALSE(SaveScreenshot(WindowShotArea(frame), shot).empty());
        }
        const Snapshot shown = Take(frame, c.label);
        EXPECT_EQ(shown.client.cx, ::MulDiv(c.size.cx, static_cast<int>(dpi), 96));
        EXPECT_EQ(shown.client.cy, ::MulDiv(c.size.cy, static_cast<int>(dpi), 96));

        ASSERT_TRUE(PostDpiChange(frame, 96, c.size));
        const Snapshot base = Take(frame, c.label);
        EXPECT_EQ(base.client.cx, c.size.cx);
        EXPECT_TRUE(ScaledFrom(shown, base, dpi)) << "as created at " << dpi << " dpi";

        ASSERT_TRUE(PostDpiChange(frame, other, c.size));
        EXPECT_TRUE(ScaledFrom(Take(frame, c.label), base, other)) << "after moving to " << other << " dpi";
    }
}
