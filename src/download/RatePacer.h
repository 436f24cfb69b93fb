#pragma once

#include <cstdint>
#include <functional>

namespace Download {

// Holds a body's reads to a rate on average, for a stack without a limit of its own
// (WinHTTP): a bucket that fills at the rate up to a quarter second of bytes and that every
// read empties by what it got; a read that leaves it in debt is followed by a pause until the
// debt is paid. So any few seconds carry at most the rate plus a quarter second's bytes.
class RatePacer {
public:
    static constexpr std::uint64_t kBurstMs = 250;
    // The smallest read it allows: WinHTTP hands its data over in pieces of this size.
    static constexpr std::uint32_t kSmallestRead = 8 * 1024;

    // now: milliseconds from any fixed point (GetTickCount64 unless a test gives its clock).
    explicit RatePacer(std::int64_t bytesPerSecond, std::function<std::uint64_t()> now = {});

    // The most a read may ask for: a burst's worth, so a pause never follows a long read.
    std::uint32_t ReadLimit() const noexcept;
    // A read got bytes just now: the milliseconds to wait before the next one (0: none).
    std::uint64_t Took(std::uint64_t bytes);

private:
    std::int64_t m_rate;
    std::function<std::uint64_t()> m_now;
    std::uint64_t m_last;
    // What may still be read at once, in byte-milliseconds per second (bytes × 1000), so a
    // fraction of a millisecond's refill is not lost; below 0: the debt.
    std::int64_t m_credit;
};

} // namespace Download
