#pragma once

#include <cstdint>

namespace Download {

// The stall rule of one transfer (Download::kStallSeconds, Download::kHeaderSeconds): once
// the request is out, no headers within the header bound, or after them no body byte for
// the stall limit, means the transfer has stalled. Fed from the transfer's progress calls,
// which libcurl makes about once a second even while nothing arrives.
class StallWatch {
public:
    explicit StallWatch(long seconds = 0, long headerSeconds = 0) noexcept;

    // Starts over, for a new attempt; a stall limit of 0 or less watches nothing.
    void Restart(long seconds, long headerSeconds) noexcept;
    // received: body bytes so far; sent: whether the request is out (connecting is not a
    // stall); answered: whether the response's headers are in. True once nothing has
    // arrived for the limit in force.
    bool Stalled(std::int64_t received, bool sent, bool answered, std::uint64_t nowMs);

private:
    std::uint64_t m_limitMs = 0;
    std::uint64_t m_headerLimitMs = 0;
    std::int64_t m_received = -1;
    bool m_answered = false;
    std::uint64_t m_since = 0;
};

} // namespace Download
