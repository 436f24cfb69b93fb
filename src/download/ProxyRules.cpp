#include "download/ProxyRules.h"

#include <cwctype>

#include "utils/Text.h"

namespace Download {
namespace {

std::wstring Lower(std::wstring_view text)
{
    std::wstring lower(text);
    for (auto& c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return lower;
}

std::vector<std::wstring> Split(std::wstring_view text, std::wstring_view separators)
{
    std::vector<std::wstring> parts;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const auto end = text.find_first_of(separators, begin);
        const std::wstring part = Utils::Trim(text.substr(begin, end == std::wstring_view::npos ? end : end - begin));
        if (!part.empty()) {
            parts.push_back(part);
        }
        if (end == std::wstring_view::npos) {
            break;
        }
        begin = end + 1;
    }
    return parts;
}

// "*" matches any run of characters; the rest compares without case.
bool GlobMatches(std::wstring_view pattern, std::wstring_view text)
{
    std::size_t p = 0, t = 0, star = std::wstring_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && std::towlower(pattern[p]) == std::towlower(text[t])) {
            ++p;
            ++t;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') {
        ++p;
    }
    return p == pattern.size();
}

// A proxy value as "host:port": an "http://" in front and a "/" behind are dropped; other
// schemes (socks) are not for us and give nothing.
std::optional<std::wstring> ProxyAddress(std::wstring value)
{
    const auto scheme = value.find(L"://");
    if (scheme != std::wstring::npos) {
        if (Lower(value.substr(0, scheme)) != L"http") {
            return std::nullopt;
        }
        value.erase(0, scheme + 3);
    }
    while (!value.empty() && value.back() == L'/') {
        value.pop_back();
    }
    if (value.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::optional<UrlTarget> ParseUrlTarget(std::wstring_view url)
{
    const auto schemeEnd = url.find(L"://");
    if (schemeEnd == std::wstring_view::npos || schemeEnd == 0) {
        return std::nullopt;
    }
    UrlTarget target;
    target.scheme = Lower(url.substr(0, schemeEnd));
    std::wstring_view authority = url.substr(schemeEnd + 3);
    authority = authority.substr(0, authority.find_first_of(L"/?#"));
    const auto at = authority.rfind(L'@');
    if (at != std::wstring_view::npos) {
        authority.remove_prefix(at + 1);
    }
    std::wstring_view port;
    if (!authority.empty() && authority.front() == L'[') {
        const auto close = authority.find(L']');
        if (close == std::wstring_view::npos) {
            return std::nullopt;
        }
        target.host = Lower(authority.substr(1, close - 1));
        if (close + 1 < authority.size() && authority[close + 1] == L':') {
            port = authority.substr(close + 2);
        }
    } else {
        const auto colon = authority.find(L':');
        target.host = Lower(authority.substr(0, colon));
        if (colon != std::wstring_view::npos) {
            port = authority.substr(colon + 1);
        }
    }
    if (target.host.empty()) {
        return std::nullopt;
    }
    if (!port.empty()) {
        unsigned number = 0;
        for (const wchar_t c : port) {
            if (c < L'0' || c > L'9' || number > 65535) {
                return std::nullopt;
            }
            number = number * 10 + static_cast<unsigned>(c - L'0');
        }
        target.port = number;
    } else if (target.scheme == L"http") {
        target.port = 80;
    } else if (target.scheme == L"https") {
        target.port = 443;
    }
    if (target.port == 0 || target.port > 65535) {
        return std::nullopt;
    }
    return target;
}

std::vector<std::wstring> ProxyEntriesFor(std::wstring_view proxyText, std::wstring_view scheme)
{
    const std::wstring wanted = Lower(scheme);
    std::vector<std::wstring> entries;
    for (const auto& item : Split(proxyText, L";")) {
        std::wstring_view rest = item;
        const auto equals = rest.find(L'=');
        if (equals != std::wstring_view::npos) {
            if (Lower(Utils::Trim(rest.substr(0, equals))) != wanted) {
                continue;
            }
            rest.remove_prefix(equals + 1);
        }
        const auto words = Split(rest, L" \t");
        if (words.empty()) {
            continue;
        }
        // Automatic configuration answers: "DIRECT", "PROXY a:1", "HTTP a:1"; SOCKS is skipped.
        const std::wstring keyword = Lower(words.front());
        if (keyword == L"direct") {
            entries.emplace_back();
            continue;
        }
        if (keyword == L"socks" || keyword == L"socks4" || keyword == L"socks5") {
            continue;
        }
        const bool keyed = keyword == L"proxy" || keyword == L"http" || keyword == L"https";
        for (std::size_t i = keyed ? 1 : 0; i < words.size(); ++i) {
            if (auto address = ProxyAddress(words[i])) {
                entries.push_back(std::move(*address));
            }
        }
    }
    return entries;
}

bool BypassListMatches(std::wstring_view bypassList, const UrlTarget& target)
{
    const std::wstring hostPort = target.host + L":" + std::to_wstring(target.port);
    for (auto entry : Split(bypassList, L"; ,\t")) {
        if (Lower(entry) == L"<local>") {
            if (target.host.find(L'.') == std::wstring::npos && target.host.find(L':') == std::wstring::npos) {
                return true;
            }
            continue;
        }
        const auto scheme = entry.find(L"://");
        if (scheme != std::wstring::npos) {
            if (Lower(entry.substr(0, scheme)) != target.scheme) {
                continue;
            }
            entry.erase(0, scheme + 3);
        }
        if (!entry.empty() && entry.front() == L'[') {
            entry.erase(0, 1);
            const auto close = entry.find(L']');
            if (close != std::wstring::npos) {
                entry.erase(close, 1);
            }
        }
        // A port given in the entry must match too; IPv6 literals have several colons.
        const auto colon = entry.rfind(L':');
        const bool hasPort = colon != std::wstring::npos && entry.find(L':') == colon
            && entry.find_first_not_of(L"0123456789", colon + 1) == std::wstring::npos && colon + 1 < entry.size();
        if (GlobMatches(entry, hasPort ? hostPort : target.host)) {
            return true;
        }
    }
    return false;
}

} // namespace Download
