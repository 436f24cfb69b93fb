#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// Id of the first running process whose executable name equals name exactly, or 0.
DWORD FindProcessIdByName(const std::wstring& name);
// The same among the processes of this process's Windows session only: another user's
// copy of a program is none of ours.
DWORD FindProcessIdInOurSession(const std::wstring& name);

// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteCommandLineArgument(const std::wstring& argument);

} // namespace Utils
