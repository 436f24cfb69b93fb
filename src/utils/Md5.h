#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "utils/UniqueResource.h"

namespace Utils {

namespace detail {
struct Md5AlgorithmTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};
struct Md5HashTraits {
    using Type = void*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};
} // namespace detail

// MD5 through the system's hash provider, fed piece by piece, so a file can be checked
// while it is written.
class Md5Stream {
public:
    Md5Stream();

    // False once anything failed; the digest is then "".
    bool Add(const void* data, std::size_t size);
    // Adds everything left in an open stream.
    bool AddStream(std::FILE* file);
    // Adds the whole content of a file.
    bool AddFile(const std::wstring& path);
    // 32 lower-case hex digits, or "" after a failure. Ends the stream.
    std::string Finish();

private:
    UniqueResource<detail::Md5AlgorithmTraits> m_algorithm;
    UniqueResource<detail::Md5HashTraits> m_hash;
    bool m_ok = false;
};

// MD5 of a file given by a wide path, as 32 lower-case hex digits; "" when it cannot be read.
std::string FileMd5Wide(const std::wstring& path);

} // namespace Utils
