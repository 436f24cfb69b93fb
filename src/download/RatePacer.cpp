#include "download/RatePacer.h"

#include <windows.h>

#include <algorithm>

namespace Download {

RatePacer::RatePacer(std::int64_t bytesPerSecond, std::function<std::uint64_t()> now)
    : m_rate(std::max<std::int64_t>(bytesPerSecond, 1))
    , m_now(now ? std::move(now) : [] { return static_cast<std::uint64_t>(::GetTickCount64()); })
    , m_last(m_now())
    , m_credit(m_rate * static_cast<std::int64_t>(kBurstMs))
{
}

std::uint32_t RatePacer::ReadLimit() const noexcept
{
    const std::int64_t burst = m_rate * static_cast<std::int64_t>(kBurstMs) / 1000;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(burst, kSmallestRead, UINT32_MAX));
}

std::uint64_t RatePacer::Took(std::uint64_t bytes)
{
    const std::int64_t capacity = m_rate * static_cast<std::int64_t>(kBurstMs);
    const std::uint64_t now = m_now();
    // An hour pays any debt and fills the bucket; the bound keeps the product in range.
    const auto elapsed = static_cast<std::int64_t>(std::min<std::uint64_t>(now - m_last, 3600 * 1000));
    m_last = now;
    m_credit = std::min(capacity, m_credit + elapsed * m_rate);
    m_credit -= static_cast<std::int64_t>(std::min<std::uint64_t>(bytes, UINT32_MAX)) * 1000;
    if (m_credit >= 0) {
        return 0;
    }
    // Rounded up: a pause that ends a little early would let the average creep above the rate.
    return static_cast<std::uint64_t>((-m_credit + m_rate - 1) / m_rate);
}

} // namespace Download
