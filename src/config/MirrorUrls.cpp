#include "config/MirrorUrls.h"

#include <windows.h>

#include "config/InstallerConfig.h"
#include "utils/Text.h"
#include "utils/UrlMd5.h"

namespace Config {
namespace {

std::string Md5Of(const std::wstring& url)
{
    return Utils::UrlMd5(Utils::WideToMultiByte(url, CP_UTF8));
}

bool IsMd5(const std::string& text)
{
    return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

// The first mirror whose MD5 is not expected; "" when there is none.
std::wstring FirstOther(const std::vector<std::wstring>& mirrors, const std::string& expected)
{
    for (const auto& mirror : mirrors) {
        if (expected.empty() || Md5Of(mirror) != expected) {
            return mirror;
        }
    }
    return {};
}

// The mirrors' one MD5 beside a DownloadUrl without one of its own; "" when that does not
// apply. other: the first mirror that may not stand, "" when all may.
std::string CommonDigest(const std::wstring& downloadUrl, const std::vector<std::wstring>& mirrors, std::wstring& other)
{
    const std::string own = Md5Of(downloadUrl);
    other = FirstOther(mirrors, own);
    if (other.empty() || IsMd5(own)) {
        return {};
    }
    const std::string common = Md5Of(mirrors.front());
    if (!IsMd5(common)) {
        return {};
    }
    other = FirstOther(mirrors, common);
    return other.empty() ? common : std::string();
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
    std::wstring other;
    CommonDigest(downloadUrl, SplitMirrorUrls(mirrors), other);
    return other;
}

std::string MirrorDigest(const std::wstring& downloadUrl, const std::wstring& mirrors)
{
    std::wstring other;
    return CommonDigest(downloadUrl, SplitMirrorUrls(mirrors), other);
}

void CheckMirrorUrls(InstallerConfig& config)
{
    const std::wstring other = MirrorWithOtherMd5(config.DownloadUrl, config.MirrorUrls);
    if (other.empty()) {
        config.InvalidValues.erase(L"MirrorUrls");
    } else {
        const bool policy = config.FromPolicy.count(L"MirrorUrls") != 0;
        config.InvalidValues[L"MirrorUrls"] = (policy ? L"policy MirrorUrls=" : L"MirrorUrls=") + other;
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
