#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "download/WorkerThreads.h"

namespace Download {

// What automatic proxy configuration said for one URL.
struct AutoProxyAnswer {
    bool answered = false; // false: the script could not be fetched or run, or nothing was detected
    DWORD error = 0; // why not, when not answered
    bool direct = false;
    std::wstring proxy; // the script's answer ("a:1;b:2"), when not direct
    std::wstring bypass;
};

// Asks the system's automatic configuration (a script, detection, or both) about url, on a
// thread of its own. Neither Windows nor Wine can cancel that look-up (Wine ignores the
// session's timeouts and its closing), so the caller only waits while stop allows: nothing
// when a stop came first. An abandoned look-up finishes on its own thread, which holds
// nothing of the caller's.
// How long the caller waits for an answer before it counts the look-up as failed.
inline constexpr ULONGLONG kAutoProxyLookupLimitMs = 10000;

std::optional<AutoProxyAnswer> LookUpAutoProxy(
    const std::wstring& url, const std::wstring& scriptUrl, bool autoDetect, const StopSignal* stop);

} // namespace Download
