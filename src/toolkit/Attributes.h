#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Toolkit {

// Parsers for layout attribute values. Malformed parts read as 0 rather than failing:
// a skin typo should show up as a wrong look, not a missing window.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
int ParseInt(std::wstring_view text, int fallback = 0);
bool ParseBool(std::wstring_view text); // "true" in any case
// "l,t,r,b" (any single non-digit separators), missing numbers are 0.
RECT ParseRect(std::wstring_view text);
SIZE ParseSize(std::wstring_view text);
// "#AARRGGBB", "#RRGGBB" (opaque) or without "#"; returns ARGB.
DWORD ParseColor(std::wstring_view text);
// Reads `name="value" other='value'` lists as used by Default elements and image strings.
std::vector<std::pair<std::wstring, std::wstring>> ParseAttributeList(std::wstring_view text);

inline COLORREF ToColorRef(DWORD argb)
{
    return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF);
}

} // namespace Toolkit
