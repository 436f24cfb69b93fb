#pragma once

#include <cstdint>

namespace Download {

// How much a read of the body asks for beyond what WinHTTP already holds. Wine's WinHTTP
// fills a read to the last byte asked for, so on a slow line a large read would outlast the
// stall rule while bytes still come; and each call is a hand-off to WinHTTP's worker thread,
// so on a fast line small reads cost more than the transfer. At the smallest size (what
// WinHTTP itself receives at a time) only what is available is taken, so any byte counts
// against a stall as it always did; the size doubles after a full read that came quickly and
// halves after one that took long, up to 1 MiB.
class ReadPace {
public:
    static constexpr std::uint32_t kSmallest = 8 * 1024;
    static constexpr std::uint32_t kLargest = 1024 * 1024;
    static constexpr std::uint64_t kQuickMs = 50;
    static constexpr std::uint64_t kSlowMs = 250;

    std::uint32_t Next() const noexcept { return m_size; }
    // Whether a read of Next() bytes follows the one of what is available.
    bool ReadsAhead() const noexcept { return m_size > kSmallest; }
    void Completed(std::uint32_t got, std::uint64_t tookMs) noexcept;

private:
    std::uint32_t m_size = kSmallest;
};

} // namespace Download
