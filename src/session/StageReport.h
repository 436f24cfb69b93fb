#pragma once

#include <windows.h>

#include <string>

#include "install/StageEvent.h"

// One pipeline event on its way from a worker thread to the main window. The window owns
// it from the moment it is posted and frees it whatever the code.
struct StageReport {
    StageEvent event;
};

// wParam 0, lParam the StageReport*. Always posted, so reports keep the pipeline's order.
inline constexpr UINT WM_STAGE_REPORT = WM_USER + 1000;

// Copies the event into a heap StageReport and posts it to window. A report that cannot
// be posted (the window is gone) is freed here. Any thread.
bool PostStageReport(HWND window, const StageEvent& event);
// The same for an event with nothing beside its three values.
inline bool PostStageReport(HWND window, int code, double progress, const std::wstring& message)
{
    return PostStageReport(window, StageEvent { code, progress, message });
}

// Frees the reports still queued for window (its pipeline has stopped; nobody will handle
// them). UI thread of window.
int DiscardQueuedStageReports(HWND window);
