#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Files the elevated installer writes where its settings say (the log, the result file). A
// standard user may be able to write to that folder: what is written must never land in a
// file they chose through a link.
namespace Utils {

// ERROR_ACCESS_DENIED when path is a read-only file: its owner's "do not write", which not
// every file system enforces for every account (Wine's does not for root); else ERROR_SUCCESS.
DWORD RefuseReadOnlyFile(const std::wstring& path);

// ERROR_CANT_ACCESS_FILE when the open file is a link (a reparse point) or has a second name
// (a hard link); else ERROR_SUCCESS.
DWORD RefuseLinkedFile(HANDLE file);

// Whether WriteFileAtomically may replace path: its folder exists and neither it nor a folder
// above it is a link, and path is no folder, read-only file or linked file. ERROR_SUCCESS
// when it may, else the reason's system error code.
DWORD CheckFileToReplace(const std::wstring& path);

// Replaces path (checked as above) with bytes, all or nothing: a new file beside it is written
// and flushed, then renamed over it; a reader sees the old file or the whole new one.
DWORD WriteFileAtomically(const std::wstring& path, std::string_view bytes);

} // namespace Utils
