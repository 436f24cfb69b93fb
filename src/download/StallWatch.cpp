#include "download/StallWatch.h"

#include <algorithm>

namespace Download {

StallWatch::StallWatch(long seconds, long headerSeconds) noexcept
{
    Restart(seconds, headerSeconds);
}

void StallWatch::Restart(long seconds, long headerSeconds) noexcept
{
    m_limitMs = seconds > 0 ? static_cast<std::uint64_t>(seconds) * 1000 : 0;
    // Never shorter than the stall rule: a longer wait is all the bound is for.
    m_headerLimitMs = std::max(m_limitMs, headerSeconds > 0 ? static_cast<std::uint64_t>(headerSeconds) * 1000 : 0);
    m_received = -1;
    m_answered = false;
    m_since = 0;
}

bool StallWatch::Stalled(std::int64_t received, bool sent, bool answered, std::uint64_t nowMs)
{
    if (m_limitMs == 0) {
        return false;
    }
    if (!sent) {
        m_received = -1;
        m_answered = false;
        return false;
    }
    // The stall rule's clock starts when the headers are in, not at the request.
    if (received != m_received || answered != m_answered) {
        m_received = received;
        m_answered = answered;
        m_since = nowMs;
        return false;
    }
    return nowMs - m_since >= (m_answered ? m_limitMs : m_headerLimitMs);
}

} // namespace Download
