#include "toolkit/WindowWnd.h"

#include "toolkit/PaintManager.h"

namespace Toolkit {

CWindowWnd::~CWindowWnd()
{
    if (m_hwnd && ::IsWindow(m_hwnd)) {
        ::SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hwnd);
    }
}

CWindowWnd* CWindowWnd::FromHandle(HWND hwnd)
{
    if (!hwnd || !::IsWindow(hwnd)) {
        return nullptr;
    }
    WNDPROC proc = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
    if (proc != WindowProc) {
        return nullptr;
    }
    return reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool CWindowWnd::RegisterWindowClass()
{
    const std::wstring className = GetWindowClassName();
    WNDCLASSEXW existing { sizeof(existing) };
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), className.c_str(), &existing)) {
        return true;
    }
    WNDCLASSEXW wc { sizeof(wc) };
    wc.style = GetClassStyle();
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = className.c_str();
    return ::RegisterClassExW(&wc) != 0;
}

HWND CWindowWnd::Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int cx, int cy)
{
    if (!RegisterWindowClass()) {
        return nullptr;
    }
    const std::wstring className = GetWindowClassName();
    return ::CreateWindowExW(
        exStyle, className.c_str(), name, style, x, y, cx, cy, parent, nullptr, ::GetModuleHandleW(nullptr), this);
}

void CWindowWnd::ShowWindow(bool show, bool takeFocus)
{
    if (m_hwnd) {
        ::ShowWindow(m_hwnd, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
    }
}

UINT CWindowWnd::ShowModal()
{
    if (!m_hwnd) {
        return 0;
    }
    const HWND hwnd = m_hwnd;
    const HWND owner = ::GetWindow(hwnd, GW_OWNER);
    m_modal = true;
    m_closeCode = 0;
    ::ShowWindow(hwnd, SW_SHOWNORMAL);
    if (owner) {
        ::EnableWindow(owner, FALSE);
    }
    bool quit = false;
    WPARAM quitCode = 0;
    MSG msg;
    while (::IsWindow(hwnd)) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            quit = got == 0;
            quitCode = msg.wParam;
            break;
        }
        if (PaintManager::TranslateMessage(msg)) {
            continue;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    if (owner) {
        ::EnableWindow(owner, TRUE);
        ::SetFocus(owner);
    }
    if (quit) {
        ::PostQuitMessage(static_cast<int>(quitCode));
    }
    return m_closeCode;
}

void CWindowWnd::Close(UINT code)
{
    if (m_hwnd) {
        ::PostMessageW(m_hwnd, WM_CLOSE, code, 0);
    }
}

void CWindowWnd::CenterWindow()
{
    if (!m_hwnd) {
        return;
    }
    RECT window;
    ::GetWindowRect(m_hwnd, &window);
    const HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
    MONITORINFO monitor { sizeof(monitor) };
    ::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : m_hwnd, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT work = monitor.rcWork;
    RECT centreOn = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) {
        ::GetWindowRect(owner, &centreOn);
    }
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    int x = (centreOn.left + centreOn.right - width) / 2;
    int y = (centreOn.top + centreOn.bottom - height) / 2;
    if (x + width > work.right) {
        x = work.right - width;
    }
    if (y + height > work.bottom) {
        y = work.bottom - height;
    }
    if (x < work.left) {
        x = work.left;
    }
    if (y < work.top) {
        y = work.top;
    }
    ::SetWindowPos(m_hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::ResizeClient(int cx, int cy)
{
    if (!m_hwnd) {
        return;
    }
    RECT rect { 0, 0, cx, cy };
    ::AdjustWindowRectEx(&rect, static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_STYLE)), FALSE,
        static_cast<DWORD>(::GetWindowLongW(m_hwnd, GWL_EXSTYLE)));
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
        SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

LRESULT CWindowWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        m_closeCode = static_cast<UINT>(wParam);
        // Give activation back to the owner before this window goes, so focus does not
        // land on some other program.
        const HWND owner = ::GetWindow(m_hwnd, GW_OWNER);
        if (m_modal && owner) {
            ::EnableWindow(owner, TRUE);
        }
    }
    return ::DefWindowProcW(m_hwnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<CWindowWnd*>(create->lpCreateParams);
        self->m_hwnd = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindowWnd*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) {
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->HandleMessage(message, wParam, lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hwnd = nullptr;
        self->OnFinalMessage(hwnd);
        return result;
    }
    return self->HandleMessage(message, wParam, lParam);
}

} // namespace Toolkit
