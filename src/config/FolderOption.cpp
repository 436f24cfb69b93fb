#include "config/FolderOption.h"

#include <windows.h>

namespace Config {

namespace {

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

} // namespace

bool IsFullPath(const std::wstring& folder)
{
    if (folder.size() >= 3 && IsDriveLetter(folder[0]) && folder[1] == L':'
        && (folder[2] == L'\\' || folder[2] == L'/')) {
        return true;
    }
    return folder.size() > 2 && folder[0] == L'\\' && folder[1] == L'\\' && folder[2] != L'\\' && folder[2] != L'?'
        && folder[2] != L'.';
}

bool IsOnNetwork(const std::wstring& path)
{
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        return true;
    }
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == L':') {
        const wchar_t root[] = { path[0], L':', L'\\', L'\0' };
        return ::GetDriveTypeW(root) == DRIVE_REMOTE;
    }
    return false;
}

std::wstring FolderNameProblem(const std::wstring& folder)
{
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const wchar_t c = folder[i];
        const bool driveColon = i == 1 && c == L':';
        if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*'
            || (c == L':' && !driveColon)) {
            return L"it holds a character a folder name cannot have";
        }
    }
    return {};
}

std::wstring FolderOptionProblem(const std::wstring& folder)
{
    if (folder.empty()) {
        return L"it is empty";
    }
    if (std::wstring problem = FolderNameProblem(folder); !problem.empty()) {
        return problem;
    }
    if (!IsFullPath(folder)) {
        return L"it is not a full path (a drive and a backslash, or \\\\server\\share)";
    }
    if (IsOnNetwork(folder)) {
        return L"it is on a network share; install onto a drive of this machine";
    }
    return {};
}

} // namespace Config
