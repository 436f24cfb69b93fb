#pragma once

#include <windows.h>

#include <string>

// Drives the real installer from outside with real input: its windows are found by class,
// its controls clicked where their layouts put them (computed by building the same layout
// here), and screenshots are taken from the screen. Every wait has a time limit.
namespace DemoDriver {

// A visible top-level window of that class, of any process, within the time; or nullptr.
HWND WaitForWindow(const wchar_t* className, DWORD timeoutMs);
// True when the window is gone within the time.
bool WaitGone(HWND window, DWORD timeoutMs);

// Where a control of a layout lies in its window's client area (page: the "mainTabLt" page
// to show first, or -1). Empty when the layout or the control is missing.
RECT ControlRect(const std::wstring& layoutFile, const std::wstring& control, int page = -1);

// Moves the real pointer to the control's centre and clicks there. False when the control
// is not in the layout.
bool Click(HWND window, const std::wstring& layoutFile, const std::wstring& control, int page = -1);

// Saves the window's screen area (with a margin for its shadow) as PNG.
bool SaveShot(HWND window, const std::wstring& path);

// The last time the product's registry key was written (0 when it does not exist). The
// installer writes it only when an installation has finished, so a later stamp means
// "finished".
ULONGLONG ProductKeyStamp();
bool WaitForProductKeyAfter(ULONGLONG stamp, DWORD timeoutMs);

} // namespace DemoDriver
