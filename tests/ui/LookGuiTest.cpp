// The windows as a user sees them, at the display's scale: the main window's pages and the
// prompts are captured from the screen (shadow included) and their pixels compared with
// recorded ones. One recording serves both builds: the 64-bit twin must match it pixel for
// pixel, the shipped 32-bit build cell by cell (see LooksAsRecorded). A different picture
// fails and is kept as screenshots/<dpi>dpi/changed-*.png.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "GuiDriver.h"
#include "support/ProcessRunner.h"
#include "toolkit/Handles.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"
#include "ui/CSequenceLabelUI.h"
#include "utils/UniqueFile.h"

using namespace GuiDriver;

namespace {

// FNV-1a over the blue, green and red bytes of every pixel of the capture, at 96, 144 and
// 192 dpi, recorded under Wine 8 (64-bit) in the test prefix.
struct Recorded {
    const wchar_t* name;
    std::uint64_t hash[3];
};
const Recorded kRecorded[] = {
    { L"MainWnd_page0", { 0x269e6e54c4127e6d, 0x8e268559d2725c61, 0x78ab978d8af30183 } },
    { L"MainWnd_page0_terms", { 0x99191c4e768ef2c3, 0xd8360905fd60905c, 0xdd7cccd6f31434d9 } },
    { L"MainWnd_page1", { 0x775f4a0d5282ca91, 0xe7173fb37d3255e9, 0x9b3d8430487a397f } },
    { L"MainWnd_page2", { 0xf1eda0aa390ef86a, 0x527ac4420e1f4aa1, 0xf5a6c4b92422ab99 } },
    { L"MainWnd_page3", { 0x5a945774fb52a1e8, 0xe48d590aeac75c14, 0xea542fc5c85e0637 } },
    { L"MessageBox1Wnd", { 0x7f2486d8823de981, 0x4b48ba3f5bfea733, 0xbc57bd632202887d } },
    { L"MessageBox2Wnd", { 0x2f08f1cbe013268c, 0xfd9018cb99ab140c, 0x90ea429496410056 } },
    { L"NetworkTipWnd", { 0x735c8e84d02bb7a3, 0xa4b8e2ae6787273f, 0x20506570e179354b } },
    { L"InstalledPathTipWnd", { 0x54da49d60dfb99be, 0x6375e618740129c8, 0x7511541fae46747 } },
    { L"ExitTipWnd", { 0x5406ec4da30e7a49, 0xc8b66ead6341f81a, 0xd6c75ed306543ebf } },
};

// The same recording as the mean brightness of every cell of 20 × 20 logical pixels, one
// hex byte a cell, row by row (VLM_RECORD_LOOK=1 writes these lines anew into the
// screenshots folder).
struct RecordedCells {
    const wchar_t* name;
    UINT dpi;
    const char* cells;
};
const RecordedCells kRecordedCells[] = {
#include "LookCells.inc"
};

constexpr int kCellSize = 20;

struct Capture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgrx; // four bytes a pixel, top row first
};

Capture CaptureScreenArea(const RECT& area)
{
    Capture capture;
    capture.width = area.right - area.left;
    capture.height = area.bottom - area.top;
    Toolkit::WindowDc screen(nullptr);
    Toolkit::UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info {};
    info.bmiHeader = { sizeof(BITMAPINFOHEADER), capture.width, -capture.height, 1, 32, BI_RGB };
    void* bits = nullptr;
    Toolkit::UniqueBitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) {
        return {};
    }
    Toolkit::SelectedObject selected(dc.get(), bitmap.get());
    ::BitBlt(dc.get(), 0, 0, capture.width, capture.height, screen.get(), area.left, area.top, SRCCOPY | CAPTUREBLT);
    ::GdiFlush();
    const auto* first = static_cast<const std::uint8_t*>(bits);
    capture.bgrx.assign(first, first + static_cast<std::size_t>(capture.width) * capture.height * 4);
    return capture;
}

std::uint64_t Hash(const Capture& capture)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < capture.bgrx.size(); i += 4) {
        for (std::size_t c = 0; c < 3; ++c) {
            hash = (hash ^ capture.bgrx[i + c]) * 1099511628211ull;
        }
    }
    return hash;
}

std::string Cells(const Capture& capture, UINT dpi)
{
    const int cell = static_cast<int>(kCellSize * dpi / 96);
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (int top = 0; top < capture.height; top += cell) {
        for (int left = 0; left < capture.width; left += cell) {
            std::uint64_t sum = 0;
            std::uint64_t count = 0;
            for (int y = top; y < std::min(top + cell, capture.height); ++y) {
                for (int x = left; x < std::min(left + cell, capture.width); ++x) {
                    const std::uint8_t* p = &capture.bgrx[(static_cast<std::size_t>(y) * capture.width + x) * 4];
                    sum += (29u * p[0] + 150u * p[1] + 77u * p[2]) >> 8;
                    ++count;
                }
            }
            const auto mean = static_cast<unsigned>(sum / count);
            out += kHex[mean >> 4];
            out += kHex[mean & 15];
        }
    }
    return out;
}

// How far a capture's cells are from the recorded ones.
struct CellDistance {
    bool sameGrid = false;
    int changed = 0; // cells more than 4 levels of brightness apart
    int changedMuch = 0; // cells more than 32 apart: an image or a word missing or moved
    int largest = 0;
};

CellDistance Distance(const std::string& seen, const char* recorded)
{
    CellDistance d;
    d.sameGrid = recorded && seen.size() == std::strlen(recorded);
    if (!d.sameGrid) {
        return d;
    }
    const auto value = [](const char* two) {
        const auto digit = [](char c) {
            return c <= '9' ? c - '0' : c - 'a' + 10;
        };
        return digit(two[0]) * 16 + digit(two[1]);
    };
    for (std::size_t i = 0; i < seen.size(); i += 2) {
        const int diff = std::abs(value(&seen[i]) - value(&recorded[i]));
        d.changed += diff > 4;
        d.changedMuch += diff > 32;
        d.largest = std::max(d.largest, diff);
    }
    return d;
}

// Pixel for pixel on the 64-bit twin, where the pictures were recorded. The shipped 32-bit
// build draws through Wine's 32-bit modules, whose text and image rasterisation can differ
// from the 64-bit ones in single pixels; there a picture is held to the same recording cell
// by cell: a few cells may move a little, none as far as a missing image or word.
bool LooksAsRecorded(std::uint64_t hash, std::uint64_t wantHash, const CellDistance& cells, std::size_t cellCount)
{
    if (hash == wantHash) {
        return true;
    }
    if constexpr (sizeof(void*) == 4) {
        return cells.sameGrid && cells.changed <= std::max<int>(8, static_cast<int>(cellCount / 40))
            && cells.changedMuch <= 6;
    }
    return false;
}

void RecordLook(const std::wstring& name, UINT dpi, const std::string& cells)
{
    const std::wstring path
        = TestSupport::BinDirectory() + L"\\..\\screenshots\\look-cells-" + std::to_wstring(dpi) + L".inc";
    Utils::UniqueFile file(_wfopen(path.c_str(), L"ab"));
    if (file) {
        std::fprintf(file.get(), "    { L\"%ls\", %u, \"%s\" },\n", name.c_str(), dpi, cells.c_str());
    }
}

// Redraws the window and waits (bounded) until the screen shows the recorded picture; X
// receives a window's drawing a moment after it is painted.
void ExpectRecordedLook(HWND hwnd, UINT dpi, const std::wstring& name)
{
    std::uint64_t want = 0;
    const char* wantCells = nullptr;
    const int column = dpi == 96 ? 0 : dpi == 144 ? 1 : dpi == 192 ? 2 : -1;
    for (const Recorded& r : kRecorded) {
        if (column >= 0 && name == r.name) {
            want = r.hash[column];
        }
    }
    for (const RecordedCells& r : kRecordedCells) {
        if (r.dpi == dpi && name == r.name) {
            wantCells = r.cells;
        }
    }
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const RECT area = WindowShotArea(hwnd);
    std::uint64_t seen = 0;
    std::string cells;
    CellDistance distance;
    bool matches = false;
    const DWORD start = ::GetTickCount();
    do {
        PumpUntil([] { return false; }, 50);
        const Capture capture = CaptureScreenArea(area);
        seen = Hash(capture);
        cells = Cells(capture, dpi);
        distance = Distance(cells, wantCells);
        matches = LooksAsRecorded(seen, want, distance, cells.size() / 2);
    } while (!matches && ::GetTickCount() - start < 5000);
    if (std::getenv("VLM_RECORD_LOOK")) {
        RecordLook(name, dpi, cells);
    }
    if (matches && seen != want) {
        std::printf("%ls at %u dpi: within the recording's cells (%d moved a little, %d far, largest %d)\n",
            name.c_str(), dpi, distance.changed, distance.changedMuch, distance.largest);
    }
    if (!matches) {
        const std::wstring kept = SaveScreenshot(area, L"changed-" + name + L".png");
        ADD_FAILURE() << std::string(name.begin(), name.end()) << " at " << dpi << " dpi looks different: hash 0x"
                      << std::hex << seen << ", recorded 0x" << want << std::dec << "; cells: " << distance.changed
                      << " moved a little, " << distance.changedMuch << " far, largest " << distance.largest
                      << (distance.sameGrid ? "" : " (no recording of this size)") << "; capture kept in "
                      << std::string(kept.begin(), kept.end());
    }
}

void Show(Toolkit::CControlUI* control, bool visible)
{
    ASSERT_NE(control, nullptr);
    control->SetVisible(visible);
}

} // namespace

TEST(LookGui, MainWindowPagesLookAsRecorded)
{
    Backdrop backdrop;
    MoveMouse(POINT { 5, 5 }); // nothing hot
    TestMainWnd main;
    ASSERT_TRUE(main.Create(nullptr, L"Vellumora", WS_POPUP | WS_VISIBLE, 0, 60, 60, 600, 400));
    const UINT dpi = main.GetPaintManager().GetScale().dpi;
    auto* tabs = main.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    auto* animation = main.FindControlAs<CSequenceLabelUI>(L"progressAnLb", L"SequenceLabel");
    auto* progress = main.FindControlAs<Toolkit::CProgressUI>(L"installPrg", L"Progress");
    ASSERT_TRUE(tabs && animation && progress);

    ExpectRecordedLook(main, dpi, L"MainWnd_page0");
    Show(main.FindControl(L"tipLbl"), true);
    Show(main.FindControl(L"treatyCtn"), true);
    ExpectRecordedLook(main, dpi, L"MainWnd_page0_terms");
    Show(main.FindControl(L"tipLbl"), false);
    Show(main.FindControl(L"treatyCtn"), false);

    tabs->SelectItem(1);
    Show(main.FindControl(L"backBtn"), true);
    main.FindControl(L"installDirEdit")->SetText(L"C:\\Program Files (x86)\\TarvikQuill");
    ExpectRecordedLook(main, dpi, L"MainWnd_page1");

    // The animation held on one frame.
    tabs->SelectItem(2);
    animation->Stop();
    animation->SetBkImage(L"res\\mainWnd\\progressAnimate\\020.png");
    Show(main.FindControl(L"backBtn"), false);
    Show(main.FindControl(L"titleGrpCtn"), false);
    main.FindControl(L"progressLb")->SetText(L"正在安装中:45%，请稍候...");
    progress->SetValue(45);
    ExpectRecordedLook(main, dpi, L"MainWnd_page2");

    tabs->SelectItem(3);
    Show(main.FindControl(L"titleGrpCtn"), true);
    ExpectRecordedLook(main, dpi, L"MainWnd_page3");
}

TEST(LookGui, PromptsLookAsRecorded)
{
    Backdrop backdrop;
    MoveMouse(POINT { 5, 5 });
    for (const wchar_t* file : { L"MessageBox1Wnd.xml", L"MessageBox2Wnd.xml", L"NetworkTipWnd.xml",
             L"InstalledPathTipWnd.xml", L"ExitTipWnd.xml" }) {
        CDuiFrame frame(FrameParams::ForSkinFile(file));
        ASSERT_NE(frame.Create(nullptr, L"消息框", WS_POPUP, 0), nullptr);
        if (Toolkit::CControlUI* caption = frame.FindControl(L"captionLbl")) {
            caption->SetText(L"温馨提示");
        }
        if (Toolkit::CControlUI* text = frame.FindControl(L"textLbl")) {
            text->SetText(L"当前网络环境较差，请在网络通畅时进行重试");
        }
        ::SetWindowPos(frame, HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        const std::wstring name(file, std::wcslen(file) - 4);
        ExpectRecordedLook(frame, frame.GetPaintManager().GetScale().dpi, name);
    }
}
