#pragma once

#include <windows.h>

#include <functional>

namespace TestSupport {

// Dispatches this thread's messages until done() or the time limit; false on the limit.
// A WM_QUIT ends the wait and is posted again for the caller's loop.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

} // namespace TestSupport
