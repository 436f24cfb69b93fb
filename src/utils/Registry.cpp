#include "utils/Registry.h"

#include <vector>

#include "utils/UniqueResource.h"

namespace Utils {
namespace {

// The maker's key, above the product's.
constexpr wchar_t kMakerRegistryKey[] = L"Software\\TarvikSoft";

struct Place {
    HKEY hive;
    REGSAM view;
};

Place PlaceOf(RecordRoot root)
{
    return root == RecordRoot::Machine ? Place { HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY } : Place { HKEY_CURRENT_USER, 0 };
}

LSTATUS OpenProductKey(RecordRoot root, REGSAM access, UniqueRegKey& key)
{
    const Place place = PlaceOf(root);
    return ::RegOpenKeyExW(place.hive, kProductRegistryKey, 0, access | place.view, key.put());
}

bool DeleteKeyWhenEmpty(const Place& place, const wchar_t* path)
{
    {
        UniqueRegKey key;
        const LSTATUS opened = ::RegOpenKeyExW(place.hive, path, 0, KEY_QUERY_VALUE | place.view, key.put());
        if (opened == ERROR_FILE_NOT_FOUND) {
            return true;
        }
        DWORD subkeys = 0;
        DWORD values = 0;
        if (opened != ERROR_SUCCESS
            || ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr)
                != ERROR_SUCCESS
            || subkeys != 0 || values != 0) {
            return false;
        }
    }
    return ::RegDeleteKeyExW(place.hive, path, place.view, 0) == ERROR_SUCCESS;
}

} // namespace

const wchar_t* RecordRootName(RecordRoot root)
{
    return root == RecordRoot::Machine ? L"HKLM (32-bit view)" : L"HKCU";
}

bool WriteRegistryString(RecordRoot root, const std::wstring& valueName, const std::wstring& text)
{
    const Place place = PlaceOf(root);
    UniqueRegKey key;
    if (::RegCreateKeyExW(place.hive, kProductRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
            KEY_ALL_ACCESS | place.view, nullptr, key.put(), nullptr)
        != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes)
        == ERROR_SUCCESS;
}

bool ReadRegistryString(RecordRoot root, const std::wstring& valueName, DWORD& valueType, std::wstring& text)
{
    UniqueRegKey key;
    if (OpenProductKey(root, KEY_READ, key) != ERROR_SUCCESS) {
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

bool DeleteRegistryValue(RecordRoot root, const std::wstring& valueName)
{
    UniqueRegKey key;
    const LSTATUS opened = OpenProductKey(root, KEY_SET_VALUE, key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        return true;
    }
    if (opened != ERROR_SUCCESS) {
        return false;
    }
    const LSTATUS deleted = ::RegDeleteValueW(key.get(), valueName.c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool DeleteProductKeyWhenEmpty(RecordRoot root)
{
    const Place place = PlaceOf(root);
    if (!DeleteKeyWhenEmpty(place, kProductRegistryKey)) {
        return false;
    }
    DeleteKeyWhenEmpty(place, kMakerRegistryKey); // other products of the maker may live there
    return true;
}

RecordedInstallation ReadRecordedInstallation(RecordRoot root)
{
    RecordedInstallation result;
    DWORD type = 0;
    ReadRegistryString(root, L"InstallPath", type, result.installPath);
    ReadRegistryString(root, L"UnInstallEp", type, result.uninstallEntry);
    ReadRegistryString(root, L"InstallVersion", type, result.installVersion);
    if (result.uninstallEntry.empty() && !result.installPath.empty()) {
        result.uninstallEntry = result.installPath + L"\\uninst.ep";
    }
    return result;
}

} // namespace Utils
