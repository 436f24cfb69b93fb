#pragma once

#include <windows.h>

#include <string_view>

namespace App {

// What a delay-loaded function becomes when its DLL cannot be loaded from the system folder
// (or lacks the function): a stand-in with the function's own signature that fails as the
// function itself fails (FALSE, NULL or an error code, never a success) and sets
// ERROR_MOD_NOT_FOUND. Null for a function whose failure is not known here (those of
// gdiplus.dll among them: nothing can be drawn without it); the caller then stops the
// program. The DLL name is compared without regard to case.
FARPROC FailingImport(std::string_view dll, std::string_view function);

} // namespace App
