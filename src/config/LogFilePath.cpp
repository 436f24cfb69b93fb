#include "config/LogFilePath.h"

#include <cwchar>

#include "config/FolderOption.h"

namespace Config {

LogFilePath ResolveLogFilePath(const std::wstring& value, const std::wstring& installerFolder)
{
    std::wstring expanded(32768, L'\0');
    const DWORD length
        = ::ExpandEnvironmentStringsW(value.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (length == 0 || length > expanded.size()) {
        return { L"", L"its environment variables could not be expanded" };
    }
    expanded.resize(length - 1);
    if (IsFullPath(expanded)) {
        return { expanded, L"" };
    }
    if (expanded.empty() || expanded[0] == L'\\' || expanded[0] == L'/'
        || (expanded.size() >= 2 && expanded[1] == L':')) {
        return { L"", L"it is neither a full path nor a name relative to the installer's folder" };
    }
    return { installerFolder + L"\\" + expanded, L"" };
}

std::wstring DefaultLogFileName(const SYSTEMTIME& time, DWORD processId)
{
    wchar_t name[96] = {};
    std::swprintf(name, 96, L"VellumoraInstaller-%04u%02u%02u-%02u%02u%02u-%lu.log", time.wYear, time.wMonth, time.wDay,
        time.wHour, time.wMinute, time.wSecond, static_cast<unsigned long>(processId));
    return name;
}

} // namespace Config
