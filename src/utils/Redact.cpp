#include "utils/Redact.h"

#include <algorithm>

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

} // namespace

std::wstring RedactUrl(std::wstring_view url)
{
    const std::size_t scheme = url.find(L"://");
    const std::size_t authorityStart = scheme == std::wstring_view::npos ? 0 : scheme + 3;
    std::size_t authorityEnd = url.find_first_of(L"/?#", authorityStart);
    if (authorityEnd == std::wstring_view::npos) {
        authorityEnd = url.size();
    }
    std::wstring result(url.substr(0, authorityStart));
    const std::size_t at = url.substr(0, authorityEnd).rfind(L'@');
    if (at != std::wstring_view::npos && at >= authorityStart) {
        result += kHidden;
        result += url.substr(at, authorityEnd - at);
    } else {
        result += url.substr(authorityStart, authorityEnd - authorityStart);
    }
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
    const std::size_t at = value.rfind(L'@');
    if (at == std::wstring_view::npos) {
        return std::wstring(value);
    }
    const std::size_t scheme = value.find(L"://");
    const std::size_t userStart = scheme == std::wstring_view::npos || scheme > at ? 0 : scheme + 3;
    if (value.find(L'/', userStart) < at) {
        return std::wstring(value); // an "@" in a URL's path, not a sign-in
    }
    const std::size_t colon = value.find(L':', userStart);
    if (colon == std::wstring_view::npos || colon > at) {
        return std::wstring(value);
    }
    return std::wstring(value.substr(0, colon + 1)) + L"(hidden)" + std::wstring(value.substr(at));
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
