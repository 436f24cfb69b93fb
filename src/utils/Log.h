#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "utils/FunctionName.h"

namespace Utils {

// Formats one line with the platform's wide printf rules (%s takes a wide string) and
// sends it to the debugger output channel, and to the log file while one is open
// (Utils::StartLogFile). No line ending is added.
void LogPrint(const wchar_t* format, ...);

// Lets tests and tools see every line as it is emitted, in addition to the debugger
// channel. Pass an empty function to stop. Lines of all threads arrive here.
void SetLogObserver(std::function<void(const std::wstring&)> observer);

} // namespace Utils

#define VLM_LOG_PREFIX L"<P%05d><T%05d><%04d-%02d-%02d %02d:%02d:%02d.%03d>(%s)<%04d>: "

// The log statement: fixed prefix (process, thread, local time, function, line), then the
// message's own printf-style wide format and arguments.
#define LOG(format, ...)                                                                                               \
    do {                                                                                                               \
        static constexpr auto vlmLogFunction_ = ::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__);           \
        SYSTEMTIME vlmLogTime_;                                                                                        \
        ::GetLocalTime(&vlmLogTime_);                                                                                  \
        ::Utils::LogPrint(VLM_LOG_PREFIX format, ::GetCurrentProcessId(), ::GetCurrentThreadId(), vlmLogTime_.wYear,   \
            vlmLogTime_.wMonth, vlmLogTime_.wDay, vlmLogTime_.wHour, vlmLogTime_.wMinute, vlmLogTime_.wSecond,         \
            vlmLogTime_.wMilliseconds, vlmLogFunction_.text, __LINE__ __VA_OPT__(, ) __VA_ARGS__);                     \
    } while (0)
