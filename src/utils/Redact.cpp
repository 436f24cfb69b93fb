#include "utils/Redact.h"

#include <algorithm>
#include <optional>

#include "utils/Text.h"

namespace Utils {
namespace {

constexpr wchar_t kHidden[] = L"\u2026";

bool EndsUrl(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'"' || c == L'\'' || c == L'<' || c == L'>'
        || c == L'(' || c == L')' || c == L'[' || c == L']' || c == L';';
}

// Scheme letters as RFC 3986 allows them, so "text:http://" finds "http".
bool SchemeChar(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'+' || c == L'-'
        || c == L'.';
}

bool IsScheme(std::wstring_view text)
{
    return !text.empty() && ((text[0] >= L'a' && text[0] <= L'z') || (text[0] >= L'A' && text[0] <= L'Z'))
        && std::all_of(text.begin(), text.end(), SchemeChar);
}

bool IsDigits(std::wstring_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
}

// "host", "host:port", "[v6]:port".
bool IsHostAndPort(std::wstring_view text, bool& hasPort)
{
    std::size_t hostEnd = text.size();
    if (!text.empty() && text.front() == L'[') {
        hostEnd = text.find(L']');
        if (hostEnd == std::wstring_view::npos) {
            return false;
        }
        ++hostEnd;
    } else {
        hostEnd = std::min(text.find(L':'), text.size());
        const auto hostChar = [](wchar_t c) {
            return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.'
                || c == L'-' || c == L'_' || c == L'%';
        };
        if (hostEnd == 0 || !std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(hostEnd), hostChar)) {
            return false;
        }
    }
    hasPort = hostEnd < text.size();
    return !hasPort || (text[hostEnd] == L':' && IsDigits(text.substr(hostEnd + 1)));
}

// Where a URL's authority begins: after "scheme://", else at the start (a proxy setting).
std::size_t AuthorityStart(std::wstring_view text, bool& url)
{
    const std::size_t scheme = text.find(L"://");
    url = scheme != std::wstring_view::npos && IsScheme(text.substr(0, scheme));
    return url ? scheme + 3 : 0;
}

struct SignIn {
    std::size_t start; // where the user name begins
    std::size_t at; // the "@" that ends the sign-in
};

// A password may hold "/", "?", "#", "@" and ":" (the proxy setting takes all up to the last
// "@"). Without a scheme there is no path, so the last "@" ends the sign-in. In a URL the last
// "@" a host follows ends it when the text before it holds none of "/?#", or reads as
// "user:password": a colon before the first "/?#", and after the "@" a host with a port or
// after the colon no port ("h:80/a@b.exe" stays a path).
std::optional<SignIn> FindSignIn(std::wstring_view text)
{
    bool url = false;
    const std::size_t start = AuthorityStart(text, url);
    for (std::size_t at = text.rfind(L'@'); at != std::wstring_view::npos && at >= start;
         at = at == 0 ? std::wstring_view::npos : text.rfind(L'@', at - 1)) {
        const std::wstring_view user = text.substr(start, at - start);
        const std::size_t special = user.find_first_of(L"/?#");
        if (!url || special == std::wstring_view::npos) {
            return SignIn { start, at };
        }
        const std::size_t colon = user.find(L':');
        const std::wstring_view after = text.substr(at + 1, text.find_first_of(L"/?#", at + 1) - (at + 1));
        bool hasPort = false;
        if (colon < special && IsHostAndPort(after, hasPort)
            && (hasPort || !IsDigits(user.substr(colon + 1, special - colon - 1)))) {
            return SignIn { start, at };
        }
    }
    return std::nullopt;
}

} // namespace

std::wstring RedactUrl(std::wstring_view url)
{
    const std::optional<SignIn> signIn = FindSignIn(url);
    bool isUrl = false;
    const std::size_t authorityStart = AuthorityStart(url, isUrl);
    const std::size_t hostStart = signIn ? signIn->at + 1 : authorityStart;
    const std::size_t authorityEnd = std::min(url.find_first_of(L"/?#", hostStart), url.size());
    std::wstring result(url.substr(0, authorityStart));
    if (signIn) {
        result += kHidden;
        result += L'@';
    }
    result += url.substr(hostStart, authorityEnd - hostStart);
    const std::size_t query = url.find(L'?', authorityEnd);
    const std::size_t fragment = url.find(L'#', authorityEnd);
    const std::size_t pathEnd = std::min(query, fragment);
    result += url.substr(
        authorityEnd, pathEnd == std::wstring_view::npos ? url.size() - authorityEnd : pathEnd - authorityEnd);
    if (query != std::wstring_view::npos && query < fragment) {
        result += L"?";
        result += kHidden;
    }
    return result;
}

std::string RedactUrl(std::string_view url)
{
    return WideToMultiByte(RedactUrl(MultiByteToWide(url, CP_UTF8)), CP_UTF8);
}

std::wstring HidePassword(std::wstring_view value)
{
    const std::optional<SignIn> signIn = FindSignIn(value);
    const std::size_t colon = signIn ? value.find(L':', signIn->start) : std::wstring_view::npos;
    if (!signIn || colon > signIn->at) {
        return std::wstring(value);
    }
    return std::wstring(value.substr(0, colon + 1)) + L"(hidden)" + std::wstring(value.substr(signIn->at));
}

std::wstring RedactUrlsInText(std::wstring_view text)
{
    std::wstring result;
    std::size_t done = 0;
    for (std::size_t mark = text.find(L"://"); mark != std::wstring_view::npos; mark = text.find(L"://", done)) {
        std::size_t start = mark;
        while (start > done && SchemeChar(text[start - 1])) {
            --start;
        }
        std::size_t end = mark + 3;
        while (end < text.size() && !EndsUrl(text[end])) {
            ++end;
        }
        result += text.substr(done, start - done);
        result += RedactUrl(text.substr(start, end - start));
        done = end;
    }
    result += text.substr(done);
    return result;
}

std::wstring HideSecret(std::wstring_view text, std::wstring_view secret)
{
    if (secret.empty()) {
        return std::wstring(text);
    }
    const std::wstring hidden = L"(" + std::to_wstring(secret.size()) + L" characters)";
    std::wstring result;
    std::size_t done = 0;
    for (std::size_t at = text.find(secret); at != std::wstring_view::npos; at = text.find(secret, done)) {
        result += text.substr(done, at - done);
        result += hidden;
        done = at + secret.size();
    }
    result += text.substr(done);
    return result;
}

} // namespace Utils
