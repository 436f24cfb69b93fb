#pragma once

#include <windows.h>

namespace Utils {

// The class the desktop shell's process serves its windows under (CLSID_ShellWindows).
// Defined alone in DesktopShellClass.cpp, so that a test build can stand in a class nobody
// serves: the state of a session without a shell.
const CLSID& DesktopShellClass();

} // namespace Utils
