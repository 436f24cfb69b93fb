#include "utils/Text.h"

#include <climits>
#include <cwctype>

namespace Utils {
namespace {

template <typename View> View TrimView(View text, View characters, bool left, bool right)
{
    if (left) {
        const auto first = text.find_first_not_of(characters);
        text.remove_prefix(first == View::npos ? text.size() : first);
    }
    if (right) {
        const auto last = text.find_last_not_of(characters);
        text.remove_suffix(last == View::npos ? text.size() : text.size() - last - 1);
    }
    return text;
}

} // namespace

std::wstring TrimLeft(std::wstring_view text, std::wstring_view characters)
{
    return std::wstring(TrimView(text, characters, true, false));
}

std::wstring TrimRight(std::wstring_view text, std::wstring_view characters)
{
    return std::wstring(TrimView(text, characters, false, true));
}

std::wstring Trim(std::wstring_view text, std::wstring_view characters)
{
    return std::wstring(TrimView(text, characters, true, true));
}

std::string Trim(std::string_view text, std::string_view characters)
{
    return std::string(TrimView(text, characters, true, true));
}

std::wstring MultiByteToWide(std::string_view text, UINT codePage)
{
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (needed <= 0) {
        return {};
    }
    std::wstring result(static_cast<std::size_t>(needed), L'\0');
    if (::MultiByteToWideChar(codePage, 0, text.data(), size, result.data(), needed) != needed) {
        return {};
    }
    return result;
}

std::string WideToMultiByte(std::wstring_view text, UINT codePage)
{
    if (text.empty() || text.size() > INT_MAX) {
        return {};
    }
    const int size = static_cast<int>(text.size());
    const int needed = ::WideCharToMultiByte(codePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(needed), '\0');
    if (::WideCharToMultiByte(codePage, 0, text.data(), size, result.data(), needed, nullptr, nullptr) != needed) {
        return {};
    }
    return result;
}

std::wstring Utf8ToWide(std::string_view text)
{
    std::wstring result;
    result.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned int code = 0;
        std::size_t extra = 0;
        if (lead < 0x80) {
            code = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F;
            extra = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F;
            extra = 2;
        } else {
            return {}; // four-byte forms lie beyond U+FFFF; other leads are malformed
        }
        if (i + extra >= text.size()) {
            return {}; // truncated sequence
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return {};
            }
            code = (code << 6) | (next & 0x3F);
        }
        const bool overlong = (extra == 1 && code < 0x80) || (extra == 2 && code < 0x800);
        const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
        if (overlong || surrogate) {
            return {};
        }
        result.push_back(static_cast<wchar_t>(code));
        i += extra + 1;
    }
    return result;
}

std::wstring ReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to)
{
    if (from.empty()) {
        return text;
    }
    std::size_t pos = 0;
    while ((pos = text.find(from, pos)) != std::wstring::npos) {
        text.replace(pos, from.size(), to);
        pos += to.size();
    }
    return text;
}

int HexDigitValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    return -1;
}

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

} // namespace Utils
