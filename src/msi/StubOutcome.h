#pragma once

#include <windows.h>

#include <string>

#include "msi/StubArguments.h"

namespace Msi {

// What the installer's exit code means to Windows Installer.
struct StubOutcome {
    UINT result; // ERROR_SUCCESS or ERROR_INSTALL_FAILURE (1603)
    bool restart; // the computer must restart: the installation asks for it at its end (3010)
    const wchar_t* meaning; // for the MSI log
};

StubOutcome MapStubExit(StubAction action, DWORD exitCode);

} // namespace Msi
