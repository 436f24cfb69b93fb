#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// The product's key under HKEY_CURRENT_USER, where the installation is recorded.
inline constexpr wchar_t kProductRegistryKey[] = L"Software\\TarvikSoft\\Vellumora";

// Reads a text value of the product's key; false when the key or value is missing.
// text is left unchanged on failure.
bool ReadRegistryString(const std::wstring& valueName, DWORD& valueType, std::wstring& text);

// Writes a REG_SZ value, creating the key when missing.
bool WriteRegistryString(const std::wstring& valueName, const std::wstring& text);

// The installation recorded by an earlier run: its folder and its uninstall entry file.
struct RecordedInstallation {
    std::wstring installPath;
    std::wstring uninstallEntry; // the folder + "\uninst.ep" when only the folder is recorded
};
RecordedInstallation ReadRecordedInstallation();

} // namespace Utils
