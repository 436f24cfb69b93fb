#pragma once

#include <string>

namespace Config {

// Why a folder given as an option cannot be used as an install folder, or empty when it
// can: it must be a full path (a drive and a backslash, or \\server\share) made only of
// characters a folder name may hold. Whether it can be created is checked later.
std::wstring FolderOptionProblem(const std::wstring& folder);

// "C:\..." or "\\server\share..."; "C:x" and "\x" depend on the current folder and drive.
bool IsFullPath(const std::wstring& path);

} // namespace Config
