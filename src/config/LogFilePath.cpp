#include "config/LogFilePath.h"

#include <cwchar>
#include <cwctype>

#include "config/FolderOption.h"
#include "utils/OutputFile.h"

namespace Config {

namespace {

// What one kind of file the run writes may be called.
struct OutputKind {
    const wchar_t* extensions[2];
    const wchar_t* wrongName;
    const wchar_t* onNetwork;
};

constexpr OutputKind kLogFile { { L".log", L".txt" }, L"a log file's name must end in .log or .txt",
    L"a log file must be on a drive of this machine, not on a network share" };
constexpr OutputKind kResultFile { { L".json", L".json" }, L"a result file's name must end in .json",
    L"a result file must be on a drive of this machine, not on a network share" };

// A settings file beside the program can be dropped by anyone, and the installer runs
// elevated: what it writes must never become a script or a program in a protected place.
// Only the kind's own extensions, and no stream ("a.bat:x.log") after the drive.
bool HasPlainName(const std::wstring& path, const OutputKind& kind)
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
    return extension == kind.extensions[0] || extension == kind.extensions[1];
}

LogFilePath Checked(std::wstring path, const OutputKind& kind)
{
    if (!HasPlainName(path, kind)) {
        return { L"", kind.wrongName };
    }
    if (IsOnNetwork(path)) {
        return { L"", kind.onNetwork };
    }
    return { std::move(path), L"" };
}

LogFilePath ResolveOutputPath(const std::wstring& value, const std::wstring& installerFolder, const OutputKind& kind)
{
    LogFilePath resolved = ResolveInstallerRelativePath(value, installerFolder);
    return resolved.problem.empty() ? Checked(std::move(resolved.path), kind) : resolved;
}

} // namespace

LogFilePath ResolveInstallerRelativePath(const std::wstring& value, const std::wstring& installerFolder)
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

LogFilePath ResolveLogFilePath(const std::wstring& value, const std::wstring& installerFolder)
{
    return ResolveOutputPath(value, installerFolder, kLogFile);
}

LogFilePath ResolveResultFilePath(const std::wstring& value, const std::wstring& installerFolder)
{
    return ResolveOutputPath(value, installerFolder, kResultFile);
}

LogFilePath CheckResultFile(const std::wstring& value, const std::wstring& installerFolder)
{
    LogFilePath resolved = ResolveResultFilePath(value, installerFolder);
    if (resolved.problem.empty()) {
        if (const DWORD error = Utils::CheckFileToReplace(resolved.path); error != ERROR_SUCCESS) {
            resolved.problem = ReplaceErrorText(error);
            resolved.path.clear();
        }
    }
    return resolved;
}

std::wstring ReplaceErrorText(DWORD error)
{
    switch (error) {
    case ERROR_CANT_ACCESS_FILE:
        return L"it, or a folder on its way, is a link";
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:
        return L"its folder does not exist";
    case ERROR_ACCESS_DENIED:
        return L"it is read-only or may not be written";
    case ERROR_DIRECTORY:
        return L"it is a folder";
    default:
        return L"it cannot be written there (error " + std::to_wstring(error) + L")";
    }
}

std::wstring DefaultLogFileName(const SYSTEMTIME& time, DWORD processId)
{
    wchar_t name[96] = {};
    std::swprintf(name, 96, L"VellumoraInstaller-%04u%02u%02u-%02u%02u%02u-%lu.log", time.wYear, time.wMonth, time.wDay,
        time.wHour, time.wMinute, time.wSecond, static_cast<unsigned long>(processId));
    return name;
}

} // namespace Config
