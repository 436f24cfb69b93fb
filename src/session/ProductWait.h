#pragma once

#include <windows.h>

#include <functional>

namespace Session {

enum class ProductWaitEnd { ProductGone, Stopped, TimedOut };

// The id of a running process of program (an exact file name), or 0: in any Windows session
// (another user's copy of a machine-wide installation holds its files too), else in ours.
DWORD FindRunningProgram(const wchar_t* program, bool anySession);

// Waits until no product runs (in this Windows session, or in any), the stop event is set, or
// limitMs (0: no bound) has passed. waiting(true) is called when the wait begins,
// waiting(false) when it ends; neither when the product was not running. A stage's thread.
ProductWaitEnd WaitForProductExit(
    HANDLE stopEvent, ULONGLONG limitMs, bool anySession, const std::function<void(bool)>& waiting);

} // namespace Session
