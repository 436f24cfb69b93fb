#pragma once

#include <string>

// Where the product goes by default: the folder of an existing installation whose
// uninstaller is still there; otherwise "TarvikQuill" under the user's data folder
// ("norvale") for an administrator console user in an elevated process, or under the
// 32-bit Program Files folder. An unattended run as the system account, or with its data
// folder in a system profile (under the Windows folder), uses Program Files: no user ever
// looks into the system's own profile. A machine-wide installation always goes under
// Program Files, whoever runs it: every account must find it.
struct DefaultFolderInputs {
    std::wstring existingFolder;
    bool existingUninstallerPresent = false;
    bool consoleUserIsAdmin = false;
    bool processIsAdmin = false;
    std::wstring appData; // empty when the variable cannot be read
    std::wstring programFilesX86; // the 32-bit Program Files folder
    bool unattended = false; // a quiet run; a window run keeps the rule above as it was
    bool systemAccount = false; // the process runs as LocalSystem
    std::wstring windowsFolder; // holds the system profiles
    bool machineScope = false; // the installation is the machine's
};
std::wstring DefaultInstallFolder(const DefaultFolderInputs& inputs);

// Joins a base folder and a name with exactly one backslash between them.
std::wstring JoinFolder(const std::wstring& base, const std::wstring& name);
