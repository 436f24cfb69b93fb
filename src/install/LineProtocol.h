#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The mechanics both output readers share: lines, keys, and how values are read.
namespace LineProtocol {

// What one parse call returns; within one call the last verdict line wins.
inline constexpr int kNoVerdict = 0;
inline constexpr int kVerdictSuccess = 1;
inline constexpr int kVerdictFailure = 1000;

// Longest text value; a longer one reads as empty text.
inline constexpr std::size_t kMaxValueLength = 771;

// Splits decoded text at each line feed; a carriage return stays in its line, and an empty
// remainder after the last line feed is not a line.
std::vector<std::wstring_view> SplitLines(std::wstring_view text);

// When line begins with key (compared exactly), the text after it.
std::optional<std::wstring_view> ValueAfterKey(std::wstring_view line, std::wstring_view key);

// The rest of the line as text, untrimmed; empty when longer than kMaxValueLength.
std::wstring TextValue(std::wstring_view value);

// A decimal number after optional white space; 0.0 when none can be read (or it is not finite).
double NumberValue(std::wstring_view value);

// A signed decimal integer after optional white space, kept to its low 32 bits the way the
// platform's reader wraps it; nothing when no digit follows.
std::optional<std::uint32_t> IntegerValue(std::wstring_view& value);

// "%d.%d.%d": reads as many parts as it can, in order; unread parts keep their values.
void ReadVersion(std::wstring_view value, int (&parts)[3]);

// A code-page number written in decimal digits only, when the system can decode it.
std::optional<UINT> CodePageNumber(std::wstring_view trimmedValue);

// The code page an "Encode=" value selects, alike for the package and the uninstaller: "UTF8",
// "ACP" (0) or a code-page number; nothing for any other value, which leaves the one in force.
std::optional<UINT> EncodeCodePage(std::wstring_view trimmedValue);

// Decodes one line of output bytes; empty when the bytes do not convert.
std::wstring DecodeLine(std::string_view bytes, UINT codePage);

// Combines a line's verdict into the running one: the last verdict line wins.
inline int CombineVerdict(int current, int line)
{
    return line != kNoVerdict ? line : current;
}

} // namespace LineProtocol
