#pragma once

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <string>

#include "support/MessagePump.h"
#include "ui/CDuiFrame.h"

// Helpers for GUI tests that drive real windows with real input (SendInput) from a
// driver thread while the test thread runs the window's message loop. Every wait has a
// time limit.
namespace GuiDriver {

// Asks the UI thread (through the owner window, which stays responsive in a modal loop)
// where a named control of one of our windows is, and whether it is hot.
struct Located {
    bool found = false;
    RECT screen {};
    bool hot = false;
    bool pushed = false;
};
inline constexpr UINT kLocateMessage = WM_APP + 0x2E1;

// A main window built from the main layout that answers kLocateMessage.
class TestMainWnd : public CDuiFrame {
public:
    TestMainWnd();

protected:
    LRESULT HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;
};

// A plain light desktop behind the windows under test, so screenshots show the drop
// shadow against something other than the X server's black root.
class Backdrop {
public:
    Backdrop();
    ~Backdrop();
    Backdrop(const Backdrop&) = delete;
    Backdrop& operator=(const Backdrop&) = delete;

private:
    HWND m_hwnd = nullptr;
};

HWND WaitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs);
bool WaitGone(HWND hwnd, DWORD timeoutMs);
Located Locate(HWND owner, HWND window, const wchar_t* controlName);
// Moves the real pointer over a control and waits (bounded) until it shows as hot.
Located Hover(HWND owner, HWND window, const wchar_t* controlName);
void MoveMouse(POINT screen);
void ClickLeft(POINT screen);
// Hovers a control of one of our windows and clicks it, releasing the button only once the
// control shows as pushed. Under Wine with no window manager a late X focus event can cancel
// a press (WM_CANCELMODE) in the instant after a window appears; a press the control never
// saw is made again (at most three times). False when the control was never pushed.
bool ClickControlOf(HWND owner, HWND window, const wchar_t* controlName);
// Waits (bounded) until hwnd has been the foreground window for settleMs without a break,
// so keys and clicks sent next reach it.
bool WaitSettledForeground(HWND hwnd, DWORD settleMs, DWORD timeoutMs);
// Presses keys in order and releases them in reverse order.
void PressKeys(std::initializer_list<WORD> keys);
POINT Centre(const RECT& rect);

// Saves a screen area as PNG under <build>/screenshots; returns the path (empty on failure).
std::wstring SaveScreenshot(const RECT& screenArea, const std::wstring& name);
// The window rect grown by the shadow's reach.
RECT WindowShotArea(HWND hwnd);

using TestSupport::PumpUntil;

} // namespace GuiDriver
