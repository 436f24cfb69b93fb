#pragma once

#include <cstdint>
#include <string>

namespace Download {

// What an HTTP answer that is not the file leads to, in every downloader.
enum class StatusVerdict {
    Retry, // no answer at all, 408, 5xx: asked again after the usual pause, within the budget
    Busy, // 429 and 503: asked again once the server says it can take us, within the budget
    Final, // any other 4xx (and a 3xx left over): the same question gets the same answer
};
StatusVerdict JudgeStatus(long status) noexcept;

// The longest a busy server's Retry-After is waited for at a time.
inline constexpr long kBusyWaitSeconds = 60;

// The pause before asking a busy server again, busyAnswers counting this one (1 for the
// first): its Retry-After in seconds (below 0: none) bounded by kBusyWaitSeconds; without
// one, 1 s doubled for every busy answer before, up to the same bound, less up to a half at
// random, so that many installers turned away together do not come back together.
unsigned BusyPauseMs(long retryAfterSeconds, int busyAnswers);

// A Retry-After value: whole seconds, or an HTTP date counted from nowUnix (0 once it has
// passed); -1 when it is neither.
long ParseRetryAfter(const std::string& value, std::int64_t nowUnix);

} // namespace Download
