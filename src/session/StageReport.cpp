#include "session/StageReport.h"

#include <memory>

bool PostStageReport(HWND window, const StageEvent& event)
{
    auto report = std::make_unique<StageReport>(StageReport { event });
    if (!window || !::PostMessageW(window, WM_STAGE_REPORT, 0, reinterpret_cast<LPARAM>(report.get()))) {
        return false;
    }
    (void)report.release(); // the window frees it
    return true;
}

int DiscardQueuedStageReports(HWND window)
{
    int count = 0;
    MSG msg;
    while (::PeekMessageW(&msg, window, WM_STAGE_REPORT, WM_STAGE_REPORT, PM_REMOVE)) {
        delete reinterpret_cast<StageReport*>(msg.lParam);
        ++count;
    }
    return count;
}
