#include "GuiDriver.h"

#include <cstdio>
#include <functional>
#include <vector>

#include "support/ProcessRunner.h"
#include "toolkit/Button.h"
#include "toolkit/GdiplusInclude.h"
#include "toolkit/GdiplusSession.h"
#include "toolkit/Handles.h"
#include "toolkit/ScreenCapture.h"

namespace GuiDriver {

struct LocateRequest {
    HWND window;
    const wchar_t* name;
    Located result;
};

TestMainWnd::TestMainWnd()
    : CDuiFrame(FrameParams::ForSkinFile(L"MainWnd.xml"))
{
}

LRESULT TestMainWnd::HandleCustomMessage(UINT message, WPARAM, LPARAM lParam, bool& handled)
{
    if (message != kLocateMessage) {
        handled = false;
        return 0;
    }
    handled = true;
    auto* request = reinterpret_cast<LocateRequest*>(lParam);
    auto* window = dynamic_cast<Toolkit::WindowImplBase*>(Toolkit::CWindowWnd::FromHandle(request->window));
    Toolkit::CControlUI* control = window ? window->FindControl(request->name) : nullptr;
    if (!control) {
        return 0;
    }
    // Whatever is pending is drawn now, so a screenshot taken next shows it.
    ::RedrawWindow(request->window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT r = control->GetPos();
    ::MapWindowPoints(request->window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    request->result.found = true;
    request->result.screen = r;
    if (auto* button = static_cast<Toolkit::CButtonUI*>(control->GetInterface(L"Button"))) {
        request->result.hot = button->IsHot();
        request->result.pushed = button->IsPushed();
    }
    return 1;
}

Backdrop::Backdrop()
{
    static const bool registered = [] {
        WNDCLASSEXW wc { sizeof(wc) };
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = ::CreateSolidBrush(RGB(0xE4, 0xE9, 0xF0)); // lives for the process
        wc.lpszClassName = L"GuiTestBackdrop";
        return ::RegisterClassExW(&wc) != 0;
    }();
    if (registered) {
        m_hwnd = ::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW, L"GuiTestBackdrop", L"", WS_POPUP, 0, 0,
            ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
            ::GetModuleHandleW(nullptr), nullptr);
        ::SetWindowPos(m_hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::UpdateWindow(m_hwnd);
    }
}

Backdrop::~Backdrop()
{
    if (m_hwnd) {
        ::DestroyWindow(m_hwnd);
    }
}

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        HWND hwnd = ::FindWindowW(className, title);
        if (hwnd && ::IsWindowVisible(hwnd)) {
            return hwnd;
        }
        ::Sleep(20);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool WaitGone(HWND hwnd, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(hwnd)) {
        if (::GetTickCount() - start >= timeoutMs) {
            return false;
        }
        ::Sleep(20);
    }
    return true;
}

Located Locate(HWND owner, HWND window, const wchar_t* controlName)
{
    LocateRequest request { window, controlName, {} };
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(owner, kLocateMessage, 0, reinterpret_cast<LPARAM>(&request), SMTO_NORMAL, 3000, &ignored);
    return request.result;
}

POINT Centre(const RECT& rect)
{
    return POINT { (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2 };
}

void MoveMouse(POINT screen)
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input {};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((screen.x * 65535LL + width / 2) / (width - 1));
    input.mi.dy = static_cast<LONG>((screen.y * 65535LL + height / 2) / (height - 1));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof(INPUT));
}

Located Hover(HWND owner, HWND window, const wchar_t* controlName)
{
    Located where = Locate(owner, window, controlName);
    if (!where.found) {
        return where;
    }
    const POINT target = Centre(where.screen);
    // A first move into the window, then onto the control, so enter/leave both happen.
    MoveMouse(POINT { target.x - 3, target.y - 1 });
    MoveMouse(target);
    const DWORD start = ::GetTickCount();
    while (!where.hot && ::GetTickCount() - start < 3000) {
        ::Sleep(30);
        MoveMouse(target);
        where = Locate(owner, window, controlName);
    }
    return where;
}

void ClickLeft(POINT screen)
{
    MoveMouse(screen);
    INPUT inputs[2] {};
    inputs[0].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].type = INPUT_MOUSE;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &inputs[0], sizeof(INPUT));
    ::Sleep(40); // a human-length press; the test's waits do not depend on it
    ::SendInput(1, &inputs[1], sizeof(INPUT));
}

bool ClickControlOf(HWND owner, HWND window, const wchar_t* controlName)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const Located where = Hover(owner, window, controlName);
        if (!where.found) {
            return false;
        }
        const POINT centre = Centre(where.screen);
        MoveMouse(centre);
        INPUT input {};
        input.type = INPUT_MOUSE;
        input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        ::SendInput(1, &input, sizeof(INPUT));
        bool pushed = false;
        const DWORD start = ::GetTickCount();
        while (!pushed && ::GetTickCount() - start < 1500) {
            ::Sleep(20);
            pushed = Locate(owner, window, controlName).pushed;
        }
        input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        ::SendInput(1, &input, sizeof(INPUT));
        if (pushed) {
            return true;
        }
        std::fprintf(stderr, "GuiDriver: the press on %ls was lost; pressing again\n", controlName);
    }
    return false;
}

bool WaitSettledForeground(HWND hwnd, DWORD settleMs, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    DWORD since = start;
    while (::GetTickCount() - start < timeoutMs) {
        if (::GetForegroundWindow() != hwnd) {
            since = ::GetTickCount();
        } else if (::GetTickCount() - since >= settleMs) {
            return true;
        }
        ::Sleep(10);
    }
    return false;
}

void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (WORD key : keys) {
        INPUT input {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto it = keys.end(); it != keys.begin();) {
        --it;
        INPUT input {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

RECT WindowShotArea(HWND hwnd)
{
    RECT r;
    ::GetWindowRect(hwnd, &r);
    const int reach = Toolkit::DpiScale { Toolkit::WindowDpi(hwnd) }(10);
    ::InflateRect(&r, reach, reach);
    return r;
}

std::wstring SaveScreenshot(const RECT& area, const std::wstring& name)
{
    std::wstring folder = TestSupport::BinDirectory() + L"\\..\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    // Runs at another display scale keep their shots apart: screenshots/192dpi/...
    wchar_t tag[32] = L"";
    if (::GetEnvironmentVariableW(L"VLM_SCREENSHOT_TAG", tag, 32) > 0 && tag[0]) {
        folder += L"\\";
        folder += tag;
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::wstring path = folder + L"\\" + name;
    return Toolkit::SaveScreenAreaPng(area, path) ? path : L"";
}

} // namespace GuiDriver
