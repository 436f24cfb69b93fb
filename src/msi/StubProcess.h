#pragma once

#include <windows.h>

#include <string>

namespace Msi {

struct StubRun {
    bool started = false;
    DWORD error = 0; // when it could not be started: the system's error code
    DWORD pid = 0;
    DWORD exitCode = 0;
};

// Runs the installer from its folder and waits for its end. No bound of our own: the run
// bounds its own stages (the download's stall limits, PackageTimeout for the package), and
// ending it from here would leave a package running without the installer that watches it.
StubRun RunStub(const std::wstring& stubPath, const std::wstring& arguments);

} // namespace Msi
