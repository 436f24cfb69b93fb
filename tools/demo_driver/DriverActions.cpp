#include "DriverActions.h"

#include <vector>

#include "toolkit/GdiplusInclude.h"
#include "toolkit/GdiplusSession.h"
#include "toolkit/Handles.h"
#include "toolkit/ScreenCapture.h"
#include "toolkit/TabLayout.h"
#include "ui/CDuiFrame.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

namespace DemoDriver {
namespace {

constexpr int kShadowMargin = 10;

struct WindowSearch {
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    wchar_t name[128] = {};
    ::GetClassNameW(hwnd, name, 128);
    if (::IsWindowVisible(hwnd) && _wcsicmp(name, search->className) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A hidden window of the layout, to read where its controls are.
class LayoutProbe : public CDuiFrame {
public:
    explicit LayoutProbe(const std::wstring& layoutFile)
        : CDuiFrame(FrameParams::ForSkinFile(layoutFile))
    {
    }
    void InitWindow() override { }
};

void SendMouse(DWORD flags, POINT screen)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((screen.x * 65535LL + width / 2) / (width - 1));
    input.mi.dy = static_cast<LONG>((screen.y * 65535LL + height / 2) / (height - 1));
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    ::SendInput(1, &input, sizeof(INPUT));
}

} // namespace

HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        WindowSearch search { className, nullptr };
        ::EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            ::Sleep(200); // its first frame is painted before anyone clicks or looks
            return search.found;
        }
        if (::GetTickCount64() >= deadline) {
            return nullptr;
        }
        ::Sleep(30);
    }
}

bool WaitGone(HWND window, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::IsWindow(window)) {
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(30);
    }
    return true;
}

RECT ControlRect(const std::wstring& layoutFile, const std::wstring& control, int page)
{
    LayoutProbe probe(layoutFile);
    if (!probe.Create(nullptr, L"", WS_POPUP, WS_EX_TOOLWINDOW)) {
        return {};
    }
    if (page >= 0) {
        if (auto* tabs = probe.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout")) {
            tabs->SelectItem(page);
        }
    }
    probe.GetPaintManager().UpdateLayout();
    Toolkit::CControlUI* found = probe.FindControl(control);
    return found ? found->GetPos() : RECT {};
}

bool Click(HWND window, const std::wstring& layoutFile, const std::wstring& control, int page)
{
    const RECT r = ControlRect(layoutFile, control, page);
    if (r.right <= r.left || r.bottom <= r.top) {
        return false;
    }
    RECT w {};
    ::GetWindowRect(window, &w);
    const POINT target { w.left + (r.left + r.right) / 2, w.top + (r.top + r.bottom) / 2 };
    // A move first, so the control sees the pointer arrive before the press.
    SendMouse(0, POINT { target.x - 2, target.y - 1 });
    ::Sleep(30);
    SendMouse(0, target);
    ::Sleep(60);
    SendMouse(MOUSEEVENTF_LEFTDOWN, target);
    ::Sleep(60); // a human-length press
    SendMouse(MOUSEEVENTF_LEFTUP, target);
    return true;
}

bool SaveShot(HWND window, const std::wstring& path)
{
    RECT area {};
    ::GetWindowRect(window, &area);
    ::InflateRect(&area, kShadowMargin, kShadowMargin);
    return Toolkit::SaveScreenAreaPng(area, path);
}

ULONGLONG ProductKeyStamp()
{
    Utils::UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Utils::kProductRegistryKey, 0, KEY_QUERY_VALUE, key.put())
        != ERROR_SUCCESS) {
        return 0;
    }
    FILETIME written {};
    if (::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
            nullptr, &written)
        != ERROR_SUCCESS) {
        return 0;
    }
    return (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

bool WaitForProductKeyAfter(ULONGLONG stamp, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (ProductKeyStamp() <= stamp) {
        if (::GetTickCount64() >= deadline) {
            return false;
        }
        ::Sleep(50);
    }
    return true;
}

} // namespace DemoDriver
