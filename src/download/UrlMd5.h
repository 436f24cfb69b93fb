#pragma once

#include <string>
#include <string_view>

namespace Download {

// The path segment in front of the file name, where the package URL carries the file's
// MD5; "" when the URL has fewer than two slashes. Callers accept it as a digest only at
// exactly 32 characters.
std::string UrlMd5(std::string_view url);
std::string UrlMd5(std::wstring_view url);

inline constexpr std::size_t kMd5Length = 32;

} // namespace Download
