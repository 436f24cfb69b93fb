#pragma once

#include <cstdint>

namespace Download {

// The stall rule of one transfer (Download::kStallSeconds): once the request is out, no
// body byte for the limit means the transfer has stalled. Fed from the transfer's progress
// calls, which libcurl makes about once a second even while nothing arrives.
class StallWatch {
public:
    explicit StallWatch(long seconds = 0) noexcept;

    // Starts over, for a new attempt; a limit of 0 or less watches nothing.
    void Restart(long seconds) noexcept;
    // received: body bytes so far; sent: whether the request is out (connecting is not a
    // stall). True once nothing has arrived for the limit.
    bool Stalled(std::int64_t received, bool sent, std::uint64_t nowMs);

private:
    std::uint64_t m_limitMs = 0;
    std::int64_t m_received = -1;
    std::uint64_t m_since = 0;
};

} // namespace Download
