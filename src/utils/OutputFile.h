#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

// The result file: written where the settings say, replaced all or nothing, through
// Utils::GuardedFolder so that it never lands in a file someone chose through a link.
namespace Utils {

// Whether WriteFileAtomically may replace path: its folder is reached from the drive's root
// with no link on the way, and path is no folder, read-only file or linked file. ERROR_SUCCESS
// when it may, else the reason's system error code.
DWORD CheckFileToReplace(const std::wstring& path);

// Replaces path (checked as above) with bytes, all or nothing: a new file is written and
// flushed in the folder held, then renamed over path through that folder; a reader sees the
// old file or the whole new one.
DWORD WriteFileAtomically(const std::wstring& path, std::string_view bytes);

class GuardedFolder;
// The same for name (one entry) in a folder already held: write fills the new file through
// its handle (readable too, to check what it wrote) and returns ERROR_SUCCESS or why not; the
// file is flushed and renamed over name only then, and removed otherwise.
DWORD WriteIntoFolder(const GuardedFolder& folder, const std::wstring& name, const std::function<DWORD(HANDLE)>& write);
DWORD WriteIntoFolder(const GuardedFolder& folder, const std::wstring& name, std::string_view bytes);

} // namespace Utils
