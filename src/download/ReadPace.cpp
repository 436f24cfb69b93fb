#include "download/ReadPace.h"

namespace Download {

void ReadPace::Completed(std::uint32_t got, std::uint64_t tookMs) noexcept
{
    if (tookMs > kSlowMs) {
        m_size = m_size / 2 < kSmallest ? kSmallest : m_size / 2;
    } else if (got >= m_size && tookMs <= kQuickMs) {
        m_size = m_size * 2 > kLargest ? kLargest : m_size * 2;
    }
}

} // namespace Download
