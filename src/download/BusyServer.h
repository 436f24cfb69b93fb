#pragma once

#include <curl/curl.h>

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

// A Retry-After value in seconds, at most kBusyWaitSeconds: whole seconds, or an HTTP date
// counted from nowUnix (0 once it has passed); -1 when it is neither.
long ParseRetryAfter(const std::string& value, std::int64_t nowUnix);

// Keeps the Retry-After of the last answer a libcurl request got (this libcurl is built
// without its own date parser).
class CurlRetryAfter {
public:
    // Before the request is performed.
    CURLcode Watch(CURL* handle);
    // After it: as ParseRetryAfter, counted from now.
    long Seconds() const;

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self) noexcept;
    std::string m_value;
};

} // namespace Download
