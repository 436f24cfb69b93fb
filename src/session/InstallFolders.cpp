#include "session/InstallFolders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "install/AdminProbes.h"
#include "utils/FileSystem.h"

DefaultFolderInputs CurrentDefaultFolderInputs(const std::wstring& existingFolder, const std::wstring& uninstaller,
    bool unattended, bool machineScope, bool systemAccount)
{
    DefaultFolderInputs inputs;
    inputs.machineScope = machineScope;
    inputs.existingFolder = existingFolder;
    inputs.existingUninstallerPresent = Utils::PathExists(uninstaller);
    inputs.consoleUserIsAdmin = Utils::IsConsoleUserAdmin();
    inputs.processIsAdmin = Utils::IsProcessAdmin();
    inputs.unattended = unattended;
    inputs.systemAccount = systemAccount;
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT windowsLength = ::GetSystemWindowsDirectoryW(windows, MAX_PATH + 1);
    if (windowsLength > 0 && windowsLength <= MAX_PATH) {
        inputs.windowsFolder = windows;
    }
    wchar_t buffer[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", buffer, MAX_PATH + 1);
    if (length > 0 && length <= MAX_PATH) {
        inputs.appData = buffer;
    }
    wchar_t programFiles[MAX_PATH + 1] = {};
    if (::SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILESX86, FALSE)
        || ::SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, FALSE)) {
        inputs.programFilesX86 = programFiles;
    }
    return inputs;
}

std::wstring WithoutTrailingBackslash(std::wstring folder)
{
    while (folder.size() > 3 && folder.back() == L'\\') {
        folder.pop_back();
    }
    return folder;
}

bool IsSameFolder(const std::wstring& a, const std::wstring& b)
{
    if (a.empty() || b.empty()) {
        return false;
    }
    const std::wstring from = WithoutTrailingBackslash(a);
    const std::wstring to = WithoutTrailingBackslash(b);
    wchar_t relative[MAX_PATH] = {};
    if (!::PathRelativePathToW(
            relative, from.c_str(), FILE_ATTRIBUTE_DIRECTORY, to.c_str(), FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    return std::wstring(relative) == L".";
}

bool KeepsExistingVersion(const std::wstring& existingFolder, const std::wstring& path)
{
    if (!IsSameFolder(existingFolder, path)) {
        return false;
    }
    wchar_t value[21] = {};
    ::GetPrivateProfileStringW(L"Uninstall", L"IsOverride", L"true", value, 21, JoinFolder(path, L"set.ini").c_str());
    return std::wstring(value) == L"false";
}

bool IsUsableInstallFolder(const std::wstring& path)
{
    if (path.empty() || path.size() > MAX_PATH || ::PathIsRelativeW(path.c_str())) {
        return false;
    }
    // The folders along the path that are not there yet, shortest first, as
    // EnsureDirectoryPath makes them.
    std::vector<std::wstring> missing;
    for (std::size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1)) {
        if (!Utils::PathExists(path.substr(0, end + 1))) {
            missing.push_back(path.substr(0, end + 1));
        }
    }
    if (path.back() != L'\\' && !Utils::PathExists(path)) {
        missing.push_back(path);
    }
    const bool made = Utils::EnsureDirectoryPath(path);
    // Deepest first; one something else has put a file into stays.
    for (auto folder = missing.rbegin(); folder != missing.rend(); ++folder) {
        ::RemoveDirectoryW(folder->c_str());
    }
    return made;
}
