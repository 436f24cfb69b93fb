#include "download/BusyServer.h"

#include <windows.h>

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <ctime>
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

namespace {

bool StartsWithIgnoringCase(const std::string& text, const char* prefix)
{
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (i >= text.size() || std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
            return false;
        }
    }
    return true;
}

// Days from 1970-01-01 to the date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

// The three forms HTTP allows, all in GMT: "Sun, 06 Nov 1994 08:49:37 GMT", "Sunday,
// 06-Nov-94 08:49:37 GMT" and "Sun Nov  6 08:49:37 1994". -1 when it is none of them.
std::int64_t ParseHttpDate(const std::string& text)
{
    static const char* const kMonths[]
        = { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec" };
    int day = -1, month = -1, hour = -1, minute = -1, second = -1;
    std::int64_t year = -1;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find_first_of(" ,-\t", at);
        const std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (word.empty()) {
            continue;
        }
        if (word.size() == 8 && word[2] == ':' && word[5] == ':') {
            hour = std::atoi(word.substr(0, 2).c_str());
            minute = std::atoi(word.substr(3, 2).c_str());
            second = std::atoi(word.substr(6, 2).c_str());
        } else if (std::all_of(word.begin(), word.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
            if (word.size() <= 2 && day < 0) {
                day = std::atoi(word.c_str());
            } else if (word.size() == 2 || word.size() == 4) {
                year = std::atoi(word.c_str());
                year += word.size() == 2 ? (year < 70 ? 2000 : 1900) : 0;
            }
        } else {
            for (int m = 0; m < 12 && month < 0; ++m) {
                month = StartsWithIgnoringCase(word, kMonths[m]) && word.size() == 3 ? m + 1 : -1;
            }
        }
    }
    if (day < 1 || day > 31 || month < 1 || year < 1970 || hour < 0 || hour > 23 || minute < 0 || minute > 59
        || second < 0 || second > 60) {
        return -1;
    }
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 + hour * 3600
        + minute * 60 + second;
}

} // namespace

long ParseRetryAfter(const std::string& value, std::int64_t nowUnix)
{
    const auto first = value.find_first_not_of(" \t");
    const auto last = value.find_last_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return -1;
    }
    const std::string text = value.substr(first, last - first + 1);
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
        // A number too long for a long is a wait beyond the bound anyway.
        return text.size() > 9 ? kBusyWaitSeconds : std::min(std::stol(text), kBusyWaitSeconds);
    }
    const std::int64_t when = ParseHttpDate(text);
    if (when < 0) {
        return -1;
    }
    const std::int64_t left = when - nowUnix;
    return left <= 0 ? 0 : static_cast<long>(std::min<std::int64_t>(left, kBusyWaitSeconds));
}

CURLcode CurlRetryAfter::Watch(CURL* handle)
{
    m_value.clear();
    const CURLcode result = ::curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &CurlRetryAfter::OnHeader);
    return result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
}

long CurlRetryAfter::Seconds() const
{
    return ParseRetryAfter(m_value, static_cast<std::int64_t>(std::time(nullptr)));
}

size_t CurlRetryAfter::OnHeader(char* data, size_t size, size_t count, void* selfData) noexcept
{
    auto* self = static_cast<CurlRetryAfter*>(selfData);
    const std::string line(data, size * count);
    if (StartsWithIgnoringCase(line, "http/")) {
        self->m_value.clear(); // a new answer: a redirect's or a challenge's says nothing of this one
    } else if (StartsWithIgnoringCase(line, "retry-after:")) {
        self->m_value = line.substr(12);
    }
    return size * count;
}

} // namespace Download
