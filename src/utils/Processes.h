#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// Id of the first running process whose executable name equals name exactly, or 0.
DWORD FindProcessIdByName(const std::wstring& name);
// The same among the processes of this process's Windows session only: another user's
// copy of a program is none of ours.
DWORD FindProcessIdInOurSession(const std::wstring& name);
// The same, and in other sessions the processes whose program lies inside folder: another
// user's copy of a machine-wide installation holds its files, while a program of that name
// anywhere else (which any user may start) is none of ours.
DWORD FindProcessIdInOurSessionOrFolder(const std::wstring& name, const std::wstring& folder);

// WhenNeeded: an argument without blanks or quotes stays as it is; Always: it is quoted anyway
// (an option written as name="value").
enum class Quoting { WhenNeeded, Always };
// Quotes one argument so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteCommandLineArgument(const std::wstring& argument, Quoting quoting = Quoting::WhenNeeded);

} // namespace Utils
