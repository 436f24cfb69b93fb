#include "utils/Registry.h"

#include <vector>

#include "utils/UniqueResource.h"

namespace Utils {

bool WriteRegistryString(const std::wstring& valueName, const std::wstring& text)
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
            nullptr, key.put(), nullptr)
        != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes)
        == ERROR_SUCCESS;
}

bool ReadRegistryString(const std::wstring& valueName, DWORD& valueType, std::wstring& text)
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return false;
    }
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), valueName.c_str(), nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS) {
        return false;
    }
    // One spare character beyond the stored size, so a value stored without its NUL still ends.
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    DWORD capacity = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    DWORD type = 0;
    if (::RegQueryValueExW(
            key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &capacity)
        != ERROR_SUCCESS) {
        return false;
    }
    valueType = type;
    text = buffer.data();
    return true;
}

RecordedInstallation ReadRecordedInstallation()
{
    RecordedInstallation result;
    DWORD type = 0;
    ReadRegistryString(L"InstallPath", type, result.installPath);
    ReadRegistryString(L"UnInstallEp", type, result.uninstallEntry);
    if (result.uninstallEntry.empty() && !result.installPath.empty()) {
        result.uninstallEntry = result.installPath + L"\\uninst.ep";
    }
    return result;
}

} // namespace Utils
