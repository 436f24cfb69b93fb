#include "download/ReadPace.h"

namespace Download {

void ReadPace::Completed(std::uint32_t got, std::uint64_t tookMs) noexcept
{
    if (tookMs > kSlowMs) {
        m_size = m_size / 2 < kSmallest ? kSmallest : m_size / 2;
    } else if (got >= m_size && tookMs <= kQuickMs) {
        m_size = m_size * 2 > kLargest ? kLargest : m_size * 2;
    }
    // Never more than about a second of the pace just seen, so a read ends well inside the
    // stall rule's window on a line that slows down.
    const std::uint64_t perSecond = static_cast<std::uint64_t>(got) * 1000 / (tookMs > 0 ? tookMs : 1);
    if (perSecond < m_size) {
        m_size = perSecond < kSmallest ? kSmallest : static_cast<std::uint32_t>(perSecond);
    }
}

} // namespace Download
