#include "config/MirrorUrls.h"

#include <windows.h>

#include "config/InstallerConfig.h"
#include "utils/Text.h"
#include "utils/UrlMd5.h"

namespace Config {
namespace {

std::string Md5Of(const std::wstring& url)
{
    std::string md5 = Utils::UrlMd5(Utils::WideToMultiByte(url, CP_UTF8));
    for (char& c : md5) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return md5;
}

} // namespace

std::vector<std::wstring> SplitMirrorUrls(const std::wstring& text)
{
    std::vector<std::wstring> urls;
    std::size_t from = 0;
    while (from <= text.size()) {
        const auto end = std::min(text.find(L';', from), text.size());
        std::wstring url = Utils::Trim(text.substr(from, end - from), L" \t");
        if (!url.empty()) {
            urls.push_back(std::move(url));
        }
        from = end + 1;
    }
    return urls;
}

std::wstring MirrorWithOtherMd5(const std::wstring& downloadUrl, const std::wstring& mirrors)
{
    const std::string expected = Md5Of(downloadUrl);
    for (const auto& mirror : SplitMirrorUrls(mirrors)) {
        if (expected.empty() || Md5Of(mirror) != expected) {
            return mirror;
        }
    }
    return {};
}

void CheckMirrorUrls(InstallerConfig& config)
{
    const std::wstring other = MirrorWithOtherMd5(config.DownloadUrl, config.MirrorUrls);
    if (other.empty()) {
        config.InvalidValues.erase(L"MirrorUrls");
    } else {
        config.InvalidValues[L"MirrorUrls"] = L"MirrorUrls=" + other;
    }
}

std::vector<std::wstring> PackageUrls(const std::wstring& first, const std::wstring& mirrors)
{
    std::vector<std::wstring> urls { first };
    if (MirrorWithOtherMd5(first, mirrors).empty()) {
        for (auto& mirror : SplitMirrorUrls(mirrors)) {
            urls.push_back(std::move(mirror));
        }
    }
    return urls;
}

} // namespace Config
