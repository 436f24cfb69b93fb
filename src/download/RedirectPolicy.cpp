#include "download/RedirectPolicy.h"

#include <optional>

#include "download/ProxyRules.h"
#include "utils/Log.h"

namespace Download {
namespace {

// "scheme://host" for the log; the path and query may carry tokens.
std::wstring Origin(const std::wstring& url)
{
    const auto target = ParseUrlTarget(url);
    return target ? target->scheme + L"://" + target->host : std::wstring(L"(not a URL)");
}

bool Web(const std::optional<UrlTarget>& target)
{
    return target && (target->scheme == L"http" || target->scheme == L"https");
}

} // namespace

RedirectVerdict CheckRedirect(const std::wstring& from, const std::wstring& to, int hopsSoFar)
{
    const auto source = ParseUrlTarget(from);
    const auto target = ParseUrlTarget(to);
    RedirectVerdict verdict = RedirectVerdict::Follow;
    const wchar_t* why = L"";
    if (hopsSoFar >= kMaxRedirects) {
        verdict = RedirectVerdict::TooMany;
        why = L"too many redirects";
    } else if (!Web(target)) {
        verdict = RedirectVerdict::NotWeb;
        why = L"not a web address";
    } else if (source && source->scheme == L"https" && target->scheme != L"https") {
        verdict = RedirectVerdict::Downgrade;
        why = L"from https to http";
    }
    if (verdict != RedirectVerdict::Follow) {
        LOG(L"redirect refused, %s: %s -> %s\r\n", why, Origin(from).c_str(), Origin(to).c_str());
    }
    return verdict;
}

} // namespace Download
