#include "config/LogFilePath.h"

#include <cwchar>
#include <cwctype>

#include "config/FolderOption.h"

namespace Config {

namespace {

// A settings file beside the program can be dropped by anyone, and the installer runs
// elevated: its log must never become a script or a program in a protected place. Only a
// ".log" or ".txt" name, and no stream ("a.bat:x.log") after the drive.
bool IsPlainLogName(const std::wstring& path)
{
    if (path.find(L':', 2) != std::wstring::npos) {
        return false;
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
        return false;
    }
    std::wstring extension = path.substr(dot);
    for (wchar_t& c : extension) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return extension == L".log" || extension == L".txt";
}

LogFilePath Checked(std::wstring path)
{
    if (!IsPlainLogName(path)) {
        return { L"", L"a log file's name must end in .log or .txt" };
    }
    if (IsOnNetwork(path)) {
        return { L"", L"a log file must be on a drive of this machine, not on a network share" };
    }
    return { std::move(path), L"" };
}

} // namespace

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
        return Checked(expanded);
    }
    if (expanded.empty() || expanded[0] == L'\\' || expanded[0] == L'/'
        || (expanded.size() >= 2 && expanded[1] == L':')) {
        return { L"", L"it is neither a full path nor a name relative to the installer's folder" };
    }
    return Checked(installerFolder + L"\\" + expanded);
}

std::wstring DefaultLogFileName(const SYSTEMTIME& time, DWORD processId)
{
    wchar_t name[96] = {};
    std::swprintf(name, 96, L"VellumoraInstaller-%04u%02u%02u-%02u%02u%02u-%lu.log", time.wYear, time.wMonth, time.wDay,
        time.wHour, time.wMinute, time.wSecond, static_cast<unsigned long>(processId));
    return name;
}

} // namespace Config
