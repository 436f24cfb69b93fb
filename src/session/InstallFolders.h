#pragma once

#include <string>

#include "config/DefaultFolder.h"

// The inputs of DefaultInstallFolder as this machine and process give them (systemAccount:
// the run's own probe, made once at start-up).
DefaultFolderInputs CurrentDefaultFolderInputs(const std::wstring& existingFolder, const std::wstring& uninstaller,
    bool unattended = false, bool machineScope = false, bool systemAccount = false);

// "C:\x\" and "C:\x" name one folder: the folder without its trailing backslashes (a drive's
// root keeps its own).
std::wstring WithoutTrailingBackslash(std::wstring folder);

// True when the relative path from one folder to the other is "." (the same folder).
bool IsSameFolder(const std::wstring& a, const std::wstring& b);

// True when installing into path keeps the existing version: path is the existing
// installation's folder and its set.ini says [Uninstall] IsOverride=false.
bool KeepsExistingVersion(const std::wstring& existingFolder, const std::wstring& path);

// A folder the product can go to: a full path whose folders exist or could be made. A
// relative one would land wherever the working directory happens to be. Told by making the
// missing folders and removing them again, so a refused or abandoned install leaves none
// behind; the folder itself is made when the pipeline applies the plan.
bool IsUsableInstallFolder(const std::wstring& path);
