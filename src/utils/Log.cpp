#include "utils/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <wchar.h>

#include "utils/LogFile.h"

namespace Utils {
namespace {

std::mutex g_observerMutex;
std::function<void(const std::wstring&)> g_observer;
std::atomic<bool> g_hasObserver { false };

struct FreeDeleter {
    void operator()(wchar_t* p) const noexcept { std::free(p); }
};

} // namespace

void SetLogObserver(std::function<void(const std::wstring&)> observer)
{
    std::lock_guard<std::mutex> lock(g_observerMutex);
    g_hasObserver = static_cast<bool>(observer);
    g_observer = std::move(observer);
}

void LogPrint(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list countArgs;
    va_copy(countArgs, args);
    // msvcrt's own formatters: %s in a wide format is a wide string there.
    const int count = _vscwprintf(format, countArgs);
    va_end(countArgs);
    if (count < 0) {
        va_end(args);
        return;
    }

    const std::uint64_t bytes = (static_cast<std::uint64_t>(count) + 2) * sizeof(wchar_t);
    const std::size_t request = bytes > UINT32_MAX ? SIZE_MAX : static_cast<std::size_t>(bytes);
    std::unique_ptr<wchar_t, FreeDeleter> buffer(static_cast<wchar_t*>(std::calloc(1, request)));
    if (!buffer) {
        va_end(args);
        return;
    }
    _vsnwprintf(buffer.get(), static_cast<std::size_t>(count) + 1, format, args);
    va_end(args);

    ::OutputDebugStringW(buffer.get());
    detail::WriteLogFileLine(buffer.get());

    if (g_hasObserver) {
        std::lock_guard<std::mutex> lock(g_observerMutex);
        if (g_observer) {
            g_observer(buffer.get());
        }
    }
}

} // namespace Utils
