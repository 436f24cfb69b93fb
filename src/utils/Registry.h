#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// The product's key, where an installation is recorded.
inline constexpr wchar_t kProductRegistryKey[] = L"Software\\TarvikSoft\\Vellumora";

// Which record: the account's own (under HKEY_CURRENT_USER) or the machine's (under
// HKEY_LOCAL_MACHINE in the 32-bit view, the one the shipped 32-bit program sees without
// redirection; a 64-bit build opens the same key).
enum class RecordRoot { User, Machine };

// "HKCU" or "HKLM (32-bit view)", for the log.
const wchar_t* RecordRootName(RecordRoot root);

// Reads a text value of the product's key; false when the key or value is missing.
// text is left unchanged on failure.
bool ReadRegistryString(RecordRoot root, const std::wstring& valueName, DWORD& valueType, std::wstring& text);

// Writes a REG_SZ value, creating the key when missing.
bool WriteRegistryString(RecordRoot root, const std::wstring& valueName, const std::wstring& text);

// Deletes a value of the product's key; true when it is gone (also when it never was).
bool DeleteRegistryValue(RecordRoot root, const std::wstring& valueName);

// Deletes the product's key, then the maker's key above it, each only while it holds no value
// and no key. True when the product's key is gone.
bool DeleteProductKeyWhenEmpty(RecordRoot root);

// The installation recorded by an earlier run: its folder and its uninstall entry file.
struct RecordedInstallation {
    std::wstring installPath;
    std::wstring uninstallEntry; // the folder + "\uninst.ep" when only the folder is recorded
    std::wstring installVersion; // as the package reported it; empty: none recorded
};
RecordedInstallation ReadRecordedInstallation(RecordRoot root);

} // namespace Utils
