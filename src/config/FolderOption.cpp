#include "config/FolderOption.h"

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

std::wstring FolderOptionProblem(const std::wstring& folder)
{
    if (folder.empty()) {
        return L"it is empty";
    }
    for (std::size_t i = 0; i < folder.size(); ++i) {
        const wchar_t c = folder[i];
        const bool driveColon = i == 1 && c == L':';
        if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*'
            || (c == L':' && !driveColon)) {
            return L"it holds a character a folder name cannot have";
        }
    }
    if (!IsFullPath(folder)) {
        return L"it is not a full path (a drive and a backslash, or \\\\server\\share)";
    }
    return {};
}

} // namespace Config
