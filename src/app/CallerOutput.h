#pragma once

#include <windows.h>

#include <string>

namespace App {

enum class CallerOutput {
    StandardOutput, // a pipe or a file: a script or a deployment tool reads it
    ParentConsole, // the console of the program that started the installer
    Dialog,
    Nowhere,
};

// Gives text to whoever started the installer: to the standard output when that is a pipe or
// a file (as UTF-8), else to the console of the program that started it (a command prompt),
// else in a message box when mayShowDialog (a run nobody sees must not wait on a box). A pipe
// nobody reads holds the installer no longer than pipeWaitMs: what is unread then is dropped.
inline constexpr DWORD kCallerPipeWaitMs = 10000;
CallerOutput ShowToCaller(const std::wstring& text, bool mayShowDialog, DWORD pipeWaitMs = kCallerPipeWaitMs);

} // namespace App
