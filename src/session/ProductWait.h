#pragma once

#include <windows.h>

#include <functional>

namespace Session {

enum class ProductWaitEnd { ProductGone, Stopped, TimedOut };

// Waits until no product of this Windows session runs, the stop event is set, or limitMs
// (0: no bound) has passed. waiting(true) is called when the wait begins, waiting(false)
// when it ends; neither when the product was not running. A stage's thread.
ProductWaitEnd WaitForProductExit(HANDLE stopEvent, ULONGLONG limitMs, const std::function<void(bool)>& waiting);

} // namespace Session
