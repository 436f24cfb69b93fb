#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace Session {

enum class ProductWaitEnd { ProductGone, Stopped, TimedOut };

// The id of a running process of program (an exact file name), or 0: in this Windows session,
// and in any other one when it runs from machineFolder (a machine-wide installation's folder,
// whose files another user's copy holds); machineFolder empty: this session only.
DWORD FindRunningProgram(const wchar_t* program, const std::wstring& machineFolder);

// Waits until no product runs (FindRunningProgram), the stop event is set, or limitMs (0: no
// bound) has passed. waiting(true) is called when the wait begins,
// waiting(false) when it ends; neither when the product was not running. A stage's thread.
ProductWaitEnd WaitForProductExit(
    HANDLE stopEvent, ULONGLONG limitMs, const std::wstring& machineFolder, const std::function<void(bool)>& waiting);

} // namespace Session
