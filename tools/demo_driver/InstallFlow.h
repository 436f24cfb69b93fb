#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace DemoDriver {

// How the install is set going once the main window is up.
enum class StartBy {
    DefaultInstallButton, // page 0's one-click install
    ExistingInstallationOk, // the existing-installation prompt's okBtn: install over it
    Itself, // -insnew=true: nothing to click
};

struct FlowOptions {
    StartBy startBy = StartBy::DefaultInstallButton;
    std::wstring shotsFolder; // no screenshots when empty
    std::wstring shotPrefix = L"install";
    // The installer's log as vlmlog.exe writes it: its pipeline lines tell when the
    // installation has finished or failed. Without it, a change of the product's registry
    // key does (which Wine skips when the values stay the same, as in an upgrade).
    std::wstring logFile;
    DWORD windowTimeoutMs = 20000;
    DWORD finishTimeoutMs = 60000;
};

struct FlowResult {
    bool ok = false;
    std::wstring failure; // what went wrong, when not ok
};

// One run of an installer that has been started: waits for its window, starts the install
// with real clicks, waits for the installation to finish, takes a screenshot of each page,
// and closes it with the finished page's close button. progress receives one line per step.
FlowResult DriveInstall(const FlowOptions& options, const std::function<void(const std::wstring&)>& progress);

} // namespace DemoDriver
