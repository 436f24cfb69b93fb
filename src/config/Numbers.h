#pragma once

#include <optional>
#include <string_view>

namespace Config {

// Leading decimal integer: white space and a sign accepted, trailing text ignored, no
// digits gives 0; a value outside the 32-bit range gives nothing (keep the earlier value).
std::optional<int> ParseLeadingInt(std::wstring_view text);

// Leading decimal number ("12", "-0.5", "1e3"): white space skipped, trailing text ignored.
// No number in front gives noNumber; a value outside the double range gives nothing.
std::optional<double> ParseLeadingDouble(std::wstring_view text, std::optional<double> noNumber);

// "true" exactly, nothing else.
bool ParseBool(std::wstring_view text);

// "true" or "false" exactly; anything else gives nothing.
std::optional<bool> ParseExactBool(std::wstring_view text);

// A count of minutes: decimal digits only (surrounding blanks allowed), at most 999999.
std::optional<int> ParseMinutes(std::wstring_view text);

} // namespace Config
