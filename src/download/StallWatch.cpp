#include "download/StallWatch.h"

namespace Download {

StallWatch::StallWatch(long seconds) noexcept
{
    Restart(seconds);
}

void StallWatch::Restart(long seconds) noexcept
{
    m_limitMs = seconds > 0 ? static_cast<std::uint64_t>(seconds) * 1000 : 0;
    m_received = -1;
    m_since = 0;
}

bool StallWatch::Stalled(std::int64_t received, bool sent, std::uint64_t nowMs)
{
    if (m_limitMs == 0) {
        return false;
    }
    if (!sent) {
        m_received = -1;
        return false;
    }
    if (received != m_received) {
        m_received = received;
        m_since = nowMs;
        return false;
    }
    return nowMs - m_since >= m_limitMs;
}

} // namespace Download
