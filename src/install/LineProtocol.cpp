#include "install/LineProtocol.h"

#include <cmath>
#include <cwchar>
#include <cwctype>

#include "utils/Text.h"

namespace LineProtocol {
namespace {

void SkipWhiteSpace(std::wstring_view& text)
{
    while (!text.empty() && std::iswspace(text.front())) {
        text.remove_prefix(1);
    }
}

} // namespace

std::vector<std::wstring_view> SplitLines(std::wstring_view text)
{
    std::vector<std::wstring_view> lines;
    while (!text.empty()) {
        const std::size_t feed = text.find(L'\n');
        if (feed == std::wstring_view::npos) {
            lines.push_back(text);
            break;
        }
        lines.push_back(text.substr(0, feed));
        text.remove_prefix(feed + 1);
    }
    return lines;
}

std::optional<std::wstring_view> ValueAfterKey(std::wstring_view line, std::wstring_view key)
{
    if (line.substr(0, key.size()) != key) {
        return std::nullopt;
    }
    return line.substr(key.size());
}

std::wstring TextValue(std::wstring_view value)
{
    if (value.size() > kMaxValueLength) {
        return {};
    }
    return std::wstring(value);
}

double NumberValue(std::wstring_view value)
{
    SkipWhiteSpace(value);
    // wcstod needs a terminated string; a number never needs more than this many characters
    // to be read, and the copy keeps the parse bounded.
    const std::wstring text(value.substr(0, 512));
    wchar_t* end = nullptr;
    const double number = std::wcstod(text.c_str(), &end);
    if (end == text.c_str() || !std::isfinite(number)) {
        return 0.0;
    }
    return number;
}

std::optional<std::uint32_t> IntegerValue(std::wstring_view& value)
{
    SkipWhiteSpace(value);
    bool negative = false;
    std::size_t i = 0;
    if (i < value.size() && (value[i] == L'+' || value[i] == L'-')) {
        negative = value[i] == L'-';
        ++i;
    }
    const std::size_t firstDigit = i;
    std::uint32_t number = 0;
    while (i < value.size() && value[i] >= L'0' && value[i] <= L'9') {
        number = number * 10u + static_cast<std::uint32_t>(value[i] - L'0');
        ++i;
    }
    if (i == firstDigit) {
        return std::nullopt;
    }
    value.remove_prefix(i);
    return negative ? 0u - number : number;
}

void ReadVersion(std::wstring_view value, int (&parts)[3])
{
    for (int index = 0; index < 3; ++index) {
        if (index > 0) {
            if (value.empty() || value.front() != L'.') {
                return;
            }
            value.remove_prefix(1);
        }
        const auto number = IntegerValue(value);
        if (!number) {
            return;
        }
        parts[index] = static_cast<int>(*number);
    }
}

std::optional<UINT> CodePageNumber(std::wstring_view trimmedValue)
{
    if (trimmedValue.empty() || trimmedValue.size() > 5
        || trimmedValue.find_first_not_of(L"0123456789") != std::wstring_view::npos) {
        return std::nullopt;
    }
    UINT number = 0;
    for (const wchar_t digit : trimmedValue) {
        number = number * 10 + static_cast<UINT>(digit - L'0');
    }
    if (number != CP_ACP && !::IsValidCodePage(number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<UINT> EncodeCodePage(std::wstring_view trimmedValue)
{
    if (trimmedValue == L"UTF8") {
        return CP_UTF8;
    }
    if (trimmedValue == L"ACP") {
        return CP_ACP;
    }
    return CodePageNumber(trimmedValue);
}

std::wstring DecodeLine(std::string_view bytes, UINT codePage)
{
    return Utils::MultiByteToWide(bytes, codePage);
}

} // namespace LineProtocol
