#include <gtest/gtest.h>

#include "ByteRange.h"
#include "PackageStore.h"

using PackageServer::ByteRange;
using PackageServer::ResolveRange;
using Kind = ByteRange::Kind;

namespace {

void ExpectRange(const char* header, std::uint64_t size, Kind kind, std::uint64_t offset, std::uint64_t length)
{
    const ByteRange range = ResolveRange(header, size);
    EXPECT_EQ(range.kind, kind) << header;
    EXPECT_EQ(range.offset, offset) << header;
    EXPECT_EQ(range.length, length) << header;
}

} // namespace

TEST(DemoByteRange, SatisfiableRangesAreClampedToTheBody)
{
    ExpectRange("bytes=0-0", 100, Kind::Partial, 0, 1);
    ExpectRange("bytes=10-19", 100, Kind::Partial, 10, 10);
    ExpectRange("bytes=90-", 100, Kind::Partial, 90, 10);
    ExpectRange("bytes=90-1000", 100, Kind::Partial, 90, 10);
    ExpectRange("bytes=-10", 100, Kind::Partial, 90, 10);
    ExpectRange("bytes=-1000", 100, Kind::Partial, 0, 100);
    ExpectRange(" bytes=5-6 ", 100, Kind::Partial, 5, 2);
}

TEST(DemoByteRange, RangesPastTheEndAreUnsatisfiable)
{
    ExpectRange("bytes=100-", 100, Kind::Unsatisfiable, 0, 0);
    ExpectRange("bytes=100-200", 100, Kind::Unsatisfiable, 0, 0);
    ExpectRange("bytes=-0", 100, Kind::Unsatisfiable, 0, 0);
    ExpectRange("bytes=0-", 0, Kind::Unsatisfiable, 0, 0);
}

TEST(DemoByteRange, HeadersItCannotUseAreIgnored)
{
    for (const char* header : { "", "bytes", "bytes=", "bytes=-", "items=0-1", "bytes=5-1", "bytes=a-b",
             "bytes=0-1,5-6", "bytes=99999999999999999999-" }) {
        ExpectRange(header, 100, Kind::Whole, 0, 100);
    }
}

TEST(DemoByteRange, PackageNamesArePercentEncodedInPaths)
{
    EXPECT_EQ(PackageServer::PercentEncode("Vellumora Setup (2).exe"), "Vellumora%20Setup%20%282%29.exe");
    EXPECT_EQ(PackageServer::PercentEncode("a-b_c.d~e"), "a-b_c.d~e");
}
