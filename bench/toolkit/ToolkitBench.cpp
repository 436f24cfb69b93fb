// Prints one line of timings:
//   first_paint_ms=<process start to the main layout built and first painted>
//   archive_bytes=<size of the embedded skin>
//   decodeD_ms=<median of 9: open the skin, decode the layouts and the images of the set for
//     D dpi (96, 144, 192) but the animation's frames>, framesD_ms=<the same for the frames>
// With --archive FILE it prints the archive's size and decode times instead.
// With --plain the window is a bare Win32 window (no toolkit, no skin): the reference
// for what Wine itself costs to start a process and paint a window.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <vector>

#include "toolkit/DpiScale.h"
#include "toolkit/GdiplusSession.h"
#include "toolkit/SkinArchive.h"
#include "ui/CDuiFrame.h"

namespace {

double Now100ns()
{
    FILETIME now;
    ::GetSystemTimePreciseAsFileTime(&now);
    return static_cast<double>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

double MsSinceProcessStart()
{
    FILETIME created, exited, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    const double start
        = static_cast<double>((static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    return (Now100ns() - start) / 10000.0;
}

double g_firstPaintMs = -1;
double g_plainMarks[2] = {}; // the bare window: start, created

class BenchFrame : public CDuiFrame {
public:
    BenchFrame()
        : CDuiFrame(FrameParams::ForSkinFile(L"MainWnd.xml"))
    {
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        const LRESULT result = CDuiFrame::HandleMessage(message, wParam, lParam);
        if (message == WM_PAINT && g_firstPaintMs < 0) {
            ::GdiFlush();
            g_firstPaintMs = MsSinceProcessStart();
            Close(IDOK);
        }
        return result;
    }
};

LRESULT CALLBACK PlainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(hwnd, &ps);
        ::FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::EndPaint(hwnd, &ps);
        if (g_firstPaintMs < 0) {
            g_firstPaintMs = MsSinceProcessStart();
            ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        }
        return 0;
    }
    if (message == WM_DESTROY) {
        ::PostQuitMessage(0);
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

void RunPlain()
{
    g_plainMarks[0] = MsSinceProcessStart();
    WNDCLASSEXW wc { sizeof(wc) };
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BenchPlain";
    ::RegisterClassExW(&wc);
    ::CreateWindowExW(
        0, L"BenchPlain", L"plain", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr, nullptr, wc.hInstance, nullptr);
    g_plainMarks[1] = MsSinceProcessStart();
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::DispatchMessageW(&msg);
    }
}

bool IsFrame(const std::wstring& name)
{
    return name.find(L"/progressanimate/") != std::wstring::npos;
}

bool InSet(const std::wstring& name, const Toolkit::ImageSet& set)
{
    if (name.size() < 4 || name.compare(name.size() - 4, 4, L".png") != 0) {
        return false;
    }
    return *set.suffix ? name.find(set.suffix) != std::wstring::npos : name.find(L'@') == std::wstring::npos;
}

// Median time to open the archive and decode what a window at the set's scale reads: the
// layouts and the set's images (without the animation's frames), or the frames alone.
double MedianDecodeMs(int runs, const void* data, std::size_t size, const Toolkit::ImageSet& set, bool frames)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double start = Now100ns();
        auto archive = Toolkit::SkinArchive::Open(data, size);
        if (!archive) {
            return -1;
        }
        if (!frames) {
            archive->Find(L"mainWnd.xml");
        }
        for (const std::wstring& name : archive->Names()) {
            if (InSet(name, set) && IsFrame(name) == frames) {
                archive->Find(name);
            }
        }
        times.push_back((Now100ns() - start) / 10000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Prints the decode times at 96, 144 and 192 dpi of the archive in memory.
void PrintDecodeTimes(const void* data, std::size_t size)
{
    for (const bool frames : { false, true }) {
        for (const Toolkit::ImageSet& set : Toolkit::kImageSets) {
            std::printf(
                " %s%u_ms=%.2f", frames ? "frames" : "decode", set.dpi, MedianDecodeMs(9, data, size, set, frames));
        }
    }
}

void PrintEmbeddedDecodeTimes()
{
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(147), L"ZIPRES");
    const void* data = found ? ::LockResource(::LoadResource(nullptr, found)) : nullptr;
    const DWORD size = found ? ::SizeofResource(nullptr, found) : 0;
    std::printf(" archive_bytes=%lu", static_cast<unsigned long>(size));
    PrintDecodeTimes(data, size);
}

// Decode times of a skin archive given as a file (to compare archives without rebuilding).
int DecodeFile(const wchar_t* path)
{
    FILE* raw = nullptr;
    if (_wfopen_s(&raw, path, L"rb") != 0 || !raw) {
        std::printf("error=cannot open archive\n");
        return 1;
    }
    std::unique_ptr<FILE, int (*)(FILE*)> file(raw, std::fclose);
    std::vector<char> bytes;
    char chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file.get())) > 0;) {
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    std::printf("archive_bytes=%zu", bytes.size());
    PrintDecodeTimes(bytes.data(), bytes.size());
    std::printf("\n");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc > 2 && std::wcscmp(argv[1], L"--archive") == 0) {
        return DecodeFile(argv[2]);
    }
    const bool plain = argc > 1 && std::wcscmp(argv[1], L"--plain") == 0;
    if (plain) {
        RunPlain();
        std::printf("first_paint_ms=%.1f", g_firstPaintMs);
        if (argc > 2 && std::wcscmp(argv[2], L"--phases") == 0) {
            std::printf(" start_ms=%.1f create_ms=%.1f paint_ms=%.1f", g_plainMarks[0],
                g_plainMarks[1] - g_plainMarks[0], g_firstPaintMs - g_plainMarks[1]);
        }
        std::printf("\n");
        return 0;
    }
    // With --phases the steps the window would take on its own run one by one first, to see
    // where the time to the first paint goes.
    const bool phases = argc > 1 && std::wcscmp(argv[1], L"--phases") == 0;
    double marks[4] = { MsSinceProcessStart(), 0, 0, 0 };
    if (phases) {
        Toolkit::Skin()->Find(L"MainWnd.xml");
        marks[1] = MsSinceProcessStart();
        Toolkit::EnsureGdiplus();
        marks[2] = MsSinceProcessStart();
    }
    {
        BenchFrame frame;
        if (!frame.Create(nullptr, L"Vellumora", WS_POPUP | WS_VISIBLE, 0, 100, 100, 600, 400)) {
            std::printf("error=main window not created\n");
            return 1;
        }
        marks[3] = MsSinceProcessStart();
        frame.ShowModal();
    }
    std::printf("first_paint_ms=%.1f", g_firstPaintMs);
    if (phases) {
        std::printf(" start_ms=%.1f skin_ms=%.1f gdiplus_ms=%.1f create_ms=%.1f paint_ms=%.1f\n", marks[0],
            marks[1] - marks[0], marks[2] - marks[1], marks[3] - marks[2], g_firstPaintMs - marks[3]);
        return 0;
    }
    PrintEmbeddedDecodeTimes();
    std::printf("\n");
    return 0;
}
