#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace Utils {

inline constexpr wchar_t kWhiteSpace[] = L" \t\r\n\f\v";
inline constexpr char kWhiteSpaceNarrow[] = " \t\r\n\f\v";

std::wstring TrimLeft(std::wstring_view text, std::wstring_view characters = kWhiteSpace);
std::wstring TrimRight(std::wstring_view text, std::wstring_view characters = kWhiteSpace);
std::wstring Trim(std::wstring_view text, std::wstring_view characters = kWhiteSpace);
std::string Trim(std::string_view text, std::string_view characters = kWhiteSpaceNarrow);

// Code-page conversions; a text that does not convert gives empty text.
std::wstring MultiByteToWide(std::string_view text, UINT codePage);
std::string WideToMultiByte(std::wstring_view text, UINT codePage);

// Strict UTF-8 to UTF-16 limited to the basic plane: malformed input or a character
// beyond U+FFFF gives empty text.
std::wstring Utf8ToWide(std::string_view text);

std::wstring ReplaceAll(std::wstring text, std::wstring_view from, std::wstring_view to);
// Equal when lower-cased character by character (keywords, scheme names).
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
// 0-15 for a hexadecimal digit of either case, -1 for anything else.
int HexDigitValue(wchar_t c);

} // namespace Utils
