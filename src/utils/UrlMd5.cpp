#include "utils/UrlMd5.h"

namespace Utils {

std::string UrlMd5(std::string_view url)
{
    const auto last = url.rfind('/');
    if (url.empty() || last == std::string_view::npos) {
        return {};
    }
    const std::string_view directory = url.substr(0, last);
    const auto previous = directory.rfind('/');
    if (previous == std::string_view::npos) {
        return {};
    }
    // Hex digits in either case name the same digest; a file's MD5 is written in lower case.
    std::string md5(directory.substr(previous + 1));
    for (char& c : md5) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return md5;
}

} // namespace Utils
