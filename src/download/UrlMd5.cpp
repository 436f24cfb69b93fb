#include "download/UrlMd5.h"

#include <windows.h>

#include "utils/Text.h"
#include "utils/UrlMd5.h"

namespace Download {

std::string UrlMd5(std::string_view url)
{
    return Utils::UrlMd5(url);
}

std::string UrlMd5(std::wstring_view url)
{
    return UrlMd5(Utils::WideToMultiByte(url, CP_UTF8));
}

} // namespace Download
