#pragma once

#include <cstdint>
#include <string_view>

namespace PackageServer {

// What a request's Range header asks of a body of a given size.
struct ByteRange {
    enum class Kind {
        Whole, // no usable range: send everything with 200
        Partial, // send [offset, offset + length) with 206
        Unsatisfiable, // 416
    };
    Kind kind = Kind::Whole;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Reads "bytes=a-b", "bytes=a-" and "bytes=-n" (the end is clamped to the body). A header
// that is absent, malformed, of another unit or asks for several ranges is ignored, as a
// server may; a range that starts past the end, or any range of an empty body, is
// unsatisfiable.
ByteRange ResolveRange(std::string_view header, std::uint64_t size);

} // namespace PackageServer
