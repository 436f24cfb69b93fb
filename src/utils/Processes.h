#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// Id of the first running process whose executable name equals name exactly, or 0.
DWORD FindProcessIdByName(const std::wstring& name);

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteCommandLineArgument(const std::wstring& argument);

} // namespace Utils
