#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Utils {

// The running program's file version as its version resource gives it ("1.0.0.0"); empty
// when the program carries none.
std::wstring ModuleFileVersion();

// A program file's version as its version resource's fixed part gives it ("2.0.0.0"); empty
// when the file carries none or cannot be read.
std::wstring FileVersionOf(const std::wstring& path);

// The numeric parts of a dotted version ("1.10.2"), white space around it ignored; nothing
// when it is empty or not digits and dots only, or a part does not fit 32 bits.
std::optional<std::vector<unsigned long>> ParseVersion(const std::wstring& text);

// Part by part, numerically (1.10 is newer than 1.9); missing parts count as 0 (1.0 is
// 1.0.0.0). Negative, zero or positive as a is older than, the same as or newer than b.
int CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b);

} // namespace Utils
