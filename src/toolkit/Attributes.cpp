#include "toolkit/Attributes.h"

#include <cwctype>

namespace Toolkit {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) {
            return false;
        }
    }
    return true;
}

int ParseInt(std::wstring_view text, int fallback)
{
    std::size_t i = 0;
    while (i < text.size() && std::iswspace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
        negative = text[i] == L'-';
        ++i;
    }
    if (i >= text.size() || !std::iswdigit(text[i])) {
        return fallback;
    }
    long long value = 0;
    for (; i < text.size() && std::iswdigit(text[i]); ++i) {
        value = value * 10 + (text[i] - L'0');
        if (value > 0x7FFFFFFF) {
            value = 0x7FFFFFFF;
        }
    }
    return static_cast<int>(negative ? -value : value);
}

bool ParseBool(std::wstring_view text)
{
    return EqualsNoCase(text, L"true");
}

namespace {

std::vector<int> ParseNumbers(std::wstring_view text, std::size_t count)
{
    std::vector<int> numbers;
    std::size_t i = 0;
    while (numbers.size() < count && i < text.size()) {
        while (i < text.size() && !std::iswdigit(text[i]) && text[i] != L'-') {
            ++i;
        }
        if (i >= text.size()) {
            break;
        }
        std::size_t end = i + 1;
        while (end < text.size() && std::iswdigit(text[end])) {
            ++end;
        }
        numbers.push_back(ParseInt(text.substr(i, end - i)));
        i = end;
    }
    numbers.resize(count, 0);
    return numbers;
}

} // namespace

RECT ParseRect(std::wstring_view text)
{
    const auto n = ParseNumbers(text, 4);
    return RECT { n[0], n[1], n[2], n[3] };
}

SIZE ParseSize(std::wstring_view text)
{
    const auto n = ParseNumbers(text, 2);
    return SIZE { n[0], n[1] };
}

DWORD ParseColor(std::wstring_view text)
{
    while (!text.empty() && (text.front() == L'#' || std::iswspace(text.front()))) {
        text.remove_prefix(1);
    }
    DWORD value = 0;
    std::size_t digits = 0;
    for (wchar_t c : text) {
        int v;
        if (c >= L'0' && c <= L'9') {
            v = c - L'0';
        } else if (c >= L'a' && c <= L'f') {
            v = c - L'a' + 10;
        } else if (c >= L'A' && c <= L'F') {
            v = c - L'A' + 10;
        } else {
            break;
        }
        value = (value << 4) | static_cast<DWORD>(v);
        ++digits;
    }
    if (digits <= 6) {
        value |= 0xFF000000;
    }
    return value;
}

std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeList(std::wstring_view text)
{
    std::vector<std::pair<std::wstring, std::wstring>> result;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::iswspace(text[i])) {
            ++i;
        }
        const std::size_t nameStart = i;
        while (i < text.size() && text[i] != L'=' && !std::iswspace(text[i])) {
            ++i;
        }
        std::wstring name(text.substr(nameStart, i - nameStart));
        while (i < text.size() && std::iswspace(text[i])) {
            ++i;
        }
        if (i >= text.size() || text[i] != L'=') {
            break;
        }
        ++i;
        while (i < text.size() && std::iswspace(text[i])) {
            ++i;
        }
        if (i >= text.size() || (text[i] != L'"' && text[i] != L'\'')) {
            break;
        }
        const wchar_t quote = text[i++];
        const std::size_t valueStart = i;
        while (i < text.size() && text[i] != quote) {
            ++i;
        }
        result.emplace_back(std::move(name), std::wstring(text.substr(valueStart, i - valueStart)));
        if (i < text.size()) {
            ++i;
        }
    }
    return result;
}

} // namespace Toolkit
