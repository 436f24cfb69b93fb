#include "download/SegmentPlan.h"

#include <algorithm>
#include <cstdio>

namespace Download {

std::vector<ByteRange> PlanSegments(std::int64_t length)
{
    std::vector<ByteRange> ranges;
    if (length < 1) {
        return ranges;
    }
    const std::int64_t count = std::clamp<std::int64_t>(length / 10485760, 1, 2);
    const std::int64_t share = length / count;
    std::int64_t offset = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::int64_t size = i + 1 == count ? share + length % count : share;
        ranges.push_back({ offset, offset + size - 1 });
        offset += size;
    }
    return ranges;
}

std::vector<std::int64_t> ShareRate(std::int64_t bytesPerSecond, const std::vector<std::int64_t>& remaining)
{
    long double total = 0;
    for (const std::int64_t bytes : remaining) {
        total += bytes > 0 ? static_cast<long double>(bytes) : 0;
    }
    std::vector<std::int64_t> shares;
    for (const std::int64_t bytes : remaining) {
        if (bytesPerSecond <= 0 || bytes <= 0) {
            shares.push_back(0);
            continue;
        }
        // Rounded down, so the sum stays within the limit; at least a byte a second, or
        // libcurl would take the share for no limit at all.
        const auto share = static_cast<std::int64_t>(static_cast<long double>(bytesPerSecond) * bytes / total);
        shares.push_back(std::max<std::int64_t>(share, 1));
    }
    return shares;
}

std::string RangeText(std::int64_t first, std::int64_t last)
{
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%lld-%lld", static_cast<long long>(first), static_cast<long long>(last));
    return text;
}

} // namespace Download
