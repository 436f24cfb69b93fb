#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Download {

struct ByteRange {
    std::int64_t first = 0;
    std::int64_t last = 0; // inclusive
    std::int64_t Size() const noexcept { return last - first + 1; }
};

// One range per started 10 MiB, at least one and at most two; equal shares with the
// remainder added to the last. Empty for lengths below 1.
std::vector<ByteRange> PlanSegments(std::int64_t length);

// Each range's share of a rate limit for all of them, in proportion to what it still has to
// fetch, so that together they keep to the limit and end together: 0 for a range with
// nothing left, and for every range without a limit (bytesPerSecond 0).
std::vector<std::int64_t> ShareRate(std::int64_t bytesPerSecond, const std::vector<std::int64_t>& remaining);

// The "first-last" text of a Range request, 64-bit throughout.
std::string RangeText(std::int64_t first, std::int64_t last);

} // namespace Download
