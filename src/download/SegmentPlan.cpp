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

std::string RangeText(std::int64_t first, std::int64_t last)
{
    char text[64] = {};
    std::snprintf(text, sizeof(text), "%lld-%lld", static_cast<long long>(first), static_cast<long long>(last));
    return text;
}

} // namespace Download
