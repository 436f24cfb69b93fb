#include "download/BusyServer.h"

#include <windows.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <random>

namespace Download {

StatusVerdict JudgeStatus(long status) noexcept
{
    if (status == 429 || status == 503) {
        return StatusVerdict::Busy;
    }
    if (status == 0 || status == 408 || status >= 500) {
        return StatusVerdict::Retry;
    }
    return StatusVerdict::Final;
}

unsigned BusyPauseMs(long retryAfterSeconds, int busyAnswers)
{
    constexpr unsigned kLimitMs = static_cast<unsigned>(kBusyWaitSeconds) * 1000;
    if (retryAfterSeconds >= 0) {
        return static_cast<unsigned>(std::min<long>(retryAfterSeconds, kBusyWaitSeconds)) * 1000;
    }
    const int doublings = std::clamp(busyAnswers - 1, 0, 6);
    const unsigned grown = std::min(1000u << doublings, kLimitMs);
    thread_local std::minstd_rand random(static_cast<unsigned>(::GetTickCount64() ^ ::GetCurrentThreadId()));
    return grown - static_cast<unsigned>(random() % (grown / 2 + 1));
}

long ParseRetryAfter(const std::string& value, std::int64_t nowUnix)
{
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return -1;
    }
    const std::string text = value.substr(first, last - first + 1);
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        // A number too long for a long is a wait beyond any bound anyway.
        return text.size() > 9 ? kBusyWaitSeconds * 1000 : std::stol(text);
    }
    const time_t when = ::curl_getdate(text.c_str(), nullptr);
    if (when < 0) {
        return -1;
    }
    const std::int64_t left = static_cast<std::int64_t>(when) - nowUnix;
    return left <= 0 ? 0 : static_cast<long>(std::min<std::int64_t>(left, kBusyWaitSeconds * 1000));
}

} // namespace Download
