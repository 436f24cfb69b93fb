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
    return std::string(directory.substr(previous + 1));
}

} // namespace Utils
