#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// From now on every log line also goes to the file at path: appended, as UTF-8, each line
// handed to the system at once, so a crash or a kill of this process keeps every line
// logged before it. Replaces a file opened before. Returns ERROR_SUCCESS, or the error that
// kept the file from opening (nothing changes then). A link on the way or in its place, or a
// file with a second name, is refused: an elevated run must not append to a file someone else
// chose (Utils::GuardedFolder). mustBeNew: the file must not exist yet (a name in a folder
// everyone can write to).
DWORD StartLogFile(const std::wstring& path, bool mustBeNew = false);
// The open file's path, "" when none is open.
std::wstring LogFilePath();
// Closes the file; later lines go to the debugger channel only.
void StopLogFile();

namespace detail {
// LogPrint's hand-over of each line; does nothing while no file is open.
void WriteLogFileLine(const wchar_t* line);
} // namespace detail

} // namespace Utils
