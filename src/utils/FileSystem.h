#pragma once

#include <string>

namespace Utils {

// Creates every missing directory along path, shortest prefix first. Fails at once for a
// path longer than 260 characters, and at the first directory that cannot be created;
// directories made before that stay. The directories it makes get madeFolders (a security
// descriptor) when one is given, else what they inherit.
bool EnsureDirectoryPath(const std::wstring& path, void* madeFolders = nullptr);

// Full path of this program's executable, and its folder (no trailing backslash).
std::wstring ModulePath();
std::wstring ModuleDirectory();

bool PathExists(const std::wstring& path);

// True when path is folder or lies inside it (compared without regard to case).
bool IsInsideFolder(const std::wstring& path, const std::wstring& folder);

} // namespace Utils
