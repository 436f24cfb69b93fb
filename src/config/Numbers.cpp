#include "config/Numbers.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <string>

namespace Config {
namespace {

std::size_t SkipSpace(std::wstring_view text)
{
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) {
        ++i;
    }
    return i;
}

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

std::size_t SkipDigits(std::wstring_view text, std::size_t i)
{
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
    }
    return i;
}

} // namespace

std::optional<int> ParseLeadingInt(std::wstring_view text)
{
    std::size_t i = SkipSpace(text);
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 2147483648LL) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > INT32_MAX || value < INT32_MIN) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

std::optional<double> ParseLeadingDouble(std::wstring_view text, std::optional<double> noNumber)
{
    const std::size_t start = SkipSpace(text);
    std::size_t i = start;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        ++i;
    }
    const std::size_t intEnd = SkipDigits(text, i);
    std::size_t end = intEnd;
    bool digits = intEnd > i;
    if (end < text.size() && text[end] == L'.') {
        const std::size_t fracEnd = SkipDigits(text, end + 1);
        digits = digits || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!digits) {
        return noNumber;
    }
    if (end < text.size() && (text[end] == L'e' || text[end] == L'E')) {
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == L'+' || text[e] == L'-')) {
            ++e;
        }
        const std::size_t expEnd = SkipDigits(text, e);
        if (expEnd > e) {
            end = expEnd;
        }
    }
    // Only the matched digits reach wcstod, so locale words like "inf" never count.
    const std::wstring number(text.substr(start, end - start));
    errno = 0;
    const double value = std::wcstod(number.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(value)) {
        return std::nullopt;
    }
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

bool ParseBool(std::wstring_view text)
{
    return text == L"true";
}

std::optional<bool> ParseExactBool(std::wstring_view text)
{
    if (text == L"true" || text == L"false") {
        return text == L"true";
    }
    return std::nullopt;
}

std::optional<int> ParseMinutes(std::wstring_view text)
{
    const std::size_t start = SkipSpace(text);
    const std::size_t end = SkipDigits(text, start);
    if (end == start || end - start > 6 || SkipSpace(text.substr(end)) != text.size() - end) {
        return std::nullopt;
    }
    return static_cast<int>(std::wcstol(std::wstring(text.substr(start, end - start)).c_str(), nullptr, 10));
}

} // namespace Config
