#pragma once

#include <chrono>
#include <thread>

namespace TestSupport {

// Polls done every 20 ms until it holds (true) or the time is up (false).
template <typename Predicate> bool WaitUntil(Predicate done, int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace TestSupport
