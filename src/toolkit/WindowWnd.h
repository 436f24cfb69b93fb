#pragma once

#include <windows.h>

#include <string>

namespace Toolkit {

// A native window bound to a C++ object: registers its class, routes messages to
// HandleMessage, centres, runs modally. The object must outlive its window; a window
// still open when the object goes is destroyed first.
class CWindowWnd {
public:
    CWindowWnd() = default;
    virtual ~CWindowWnd();
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    HWND GetHWND() const noexcept { return m_hwnd; }
    // The object behind a window of ours (this thread's windows), or nullptr.
    static CWindowWnd* FromHandle(HWND hwnd);
    operator HWND() const noexcept { return m_hwnd; }

    HWND Create(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
        int y = CW_USEDEFAULT, int cx = CW_USEDEFAULT, int cy = CW_USEDEFAULT);
    void ShowWindow(bool show = true, bool takeFocus = true);
    // Shows the window, disables its owner and dispatches messages until the window is
    // gone; then enables the owner again and gives it the focus. A WM_QUIT met on the way
    // ends the loop and is posted again. Returns the code passed to Close (or the
    // WM_CLOSE wParam).
    UINT ShowModal();
    // Asks the window to close (posted WM_CLOSE with the code).
    void Close(UINT code = IDOK);
    // Over the owner when it is there and not minimised, else in the work area of the
    // monitor; always kept inside that work area.
    void CenterWindow();
    void ResizeClient(int cx, int cy);

protected:
    virtual std::wstring GetWindowClassName() const = 0;
    virtual UINT GetClassStyle() const { return CS_DBLCLKS; }
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    virtual void OnFinalMessage(HWND) { }
    bool IsModal() const noexcept { return m_modal; }

    HWND m_hwnd = nullptr;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool RegisterWindowClass();

    bool m_modal = false;
    UINT m_closeCode = 0;
};

} // namespace Toolkit
