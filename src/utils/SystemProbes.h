#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace Utils {

struct SystemVersionName {
    std::wstring family; // always "Windows"
    std::wstring name; // "XP", "7", "10", "Server 2003 R2", "11.0.22000", ...
};

SystemVersionName GetSystemVersionName();

// For the log: "Windows 10 (10.0.19045), 64-bit".
std::wstring DescribeSystem();

// The name for a set of version numbers; the build carries only its low 16 bits.
std::wstring VersionNameFromNumbers(DWORD major, DWORD minor, DWORD build, bool isServerR2);

// True when this 32-bit process runs on 64-bit Windows.
bool IsWow64();

// Network status in the high 16 bits (0 internet, 1 no connectivity, 2 network without
// internet), NLM_CONNECTIVITY flags in the low 16 bits. COM must be initialised on the
// calling thread.
std::uint32_t CheckNetwork();

// How CheckNetwork folds the network list manager's answers into its result.
std::uint32_t NetworkStatusValue(std::uint32_t status, std::uint32_t connectivity);

// 32 hex digits of a fresh GUID, no dashes or braces.
std::wstring CreateGuidText();
std::wstring FormatGuidText(const GUID& guid);

// MD5 of a file as 32 lower-case hex digits; empty when the path is empty or the file
// cannot be read.
std::string FileMd5(const std::string& ansiPath);

} // namespace Utils
