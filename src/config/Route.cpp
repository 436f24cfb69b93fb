#include "config/Route.h"

#include <algorithm>
#include <array>

#include "utils/SystemProbes.h"
#include "utils/Text.h"

namespace Config {

std::wstring RouteWord(const std::wstring& versionName, int productNumber, bool isWow64)
{
    if (versionName.find(L"XP") != std::wstring::npos) {
        return L"download_silent_xp";
    }
    // Only these products ship a 64-bit build.
    static constexpr std::array<int, 5> k64BitProducts { 267, 385, 257, 335, 318 };
    if (std::find(k64BitProducts.begin(), k64BitProducts.end(), productNumber) != k64BitProducts.end()) {
        return isWow64 ? L"download_silent_64" : L"download_silent";
    }
    return L"download_silent";
}

std::wstring ApplyRoute(const std::wstring& url)
{
    if (url.find(kRoutePlaceholder) == std::wstring::npos) {
        return url;
    }
    const std::wstring versionName = Utils::GetSystemVersionName().name;
    // The WOW64 probe is asked only where its answer matters.
    const bool isXp = versionName.find(L"XP") != std::wstring::npos;
    const std::wstring word = RouteWord(versionName, ProductNumber, !isXp && Utils::IsWow64());
    return Utils::ReplaceAll(url, kRoutePlaceholder, word);
}

} // namespace Config
