#pragma once

#include <string>

namespace Config {

// Why a folder given as an option cannot be used as an install folder, or empty when it
// can: it must be a full path on a drive of this machine (a drive and a backslash) made only
// of characters a folder name may hold. Whether it can be created is checked later.
std::wstring FolderOptionProblem(const std::wstring& folder);

// Why a path cannot name a folder: a control character, one of < > " | ? *, or a ":" past
// the drive's; empty when none.
std::wstring FolderNameProblem(const std::wstring& folder);

// "C:\..." or "\\server\share..."; "C:x" and "\x" depend on the current folder and drive.
bool IsFullPath(const std::wstring& path);

// "\\server\share..." or a path on a mapped network drive. The elevated installer neither
// runs a package from such a folder (the server can hand the signature check and the loader
// different bytes) nor writes its log there (the server would learn the user's sign-in).
bool IsOnNetwork(const std::wstring& path);

} // namespace Config
