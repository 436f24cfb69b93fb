#pragma once

#include <string>

// Where the product goes by default: the folder of an existing installation whose
// uninstaller is still there; otherwise "TarvikQuill" under the user's data folder
// ("norvale") for an administrator console user in an elevated process, or under the
// 32-bit Program Files folder.
struct DefaultFolderInputs {
    std::wstring existingFolder;
    bool existingUninstallerPresent = false;
    bool consoleUserIsAdmin = false;
    bool processIsAdmin = false;
    std::wstring appData; // empty when the variable cannot be read
    std::wstring programFilesX86; // the 32-bit Program Files folder
};
std::wstring DefaultInstallFolder(const DefaultFolderInputs& inputs);

// The inputs as this machine and process give them.
DefaultFolderInputs CurrentDefaultFolderInputs(const std::wstring& existingFolder, const std::wstring& uninstaller);

// Joins a base folder and a name with exactly one backslash between them.
std::wstring JoinFolder(const std::wstring& base, const std::wstring& name);

// True when the relative path from one folder to the other is "." (the same folder).
bool IsSameFolder(const std::wstring& a, const std::wstring& b);

// True when installing into path keeps the existing version: path is the existing
// installation's folder and its set.ini says [Uninstall] IsOverride=false.
bool KeepsExistingVersion(const std::wstring& existingFolder, const std::wstring& path);

// A folder the product can go to: a full path whose folders exist or could be made (they
// are made). A relative one would land wherever the working directory happens to be.
bool IsUsableInstallFolder(const std::wstring& path);
