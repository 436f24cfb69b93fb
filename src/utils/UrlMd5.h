#pragma once

#include <string>
#include <string_view>

namespace Utils {

// The path segment in front of the file name, where a package URL carries the file's MD5, in
// lower case; "" when the URL has fewer than two slashes.
std::string UrlMd5(std::string_view url);

} // namespace Utils
