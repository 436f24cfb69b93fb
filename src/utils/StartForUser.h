#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// How a program or page is started for the signed-in user. An elevated installer must never
// start what the user works with: the desktop shell's own process starts it, with the user's
// ordinary rights.
enum class UserStartRoute {
    DesktopShell, // elevated in the user's session: ask the desktop shell to start it
    Plain, // not elevated: start it ourselves, it gets our (ordinary) rights
    None, // the system account: there is no user to start it for
};

struct UserStartResult {
    enum class Status {
        Started,
        SystemAccount, // nothing started: run as the system account
        NoShell, // nothing started: no desktop shell in this session
        Failed, // the route was there but the start failed
    };
    Status status = Status::Failed;
    UserStartRoute route = UserStartRoute::None;
    long error = 0; // HRESULT or Win32 error of the failure

    bool Started() const noexcept { return status == Status::Started; }
    // For the log: "started through the desktop shell", "not started: no desktop shell (0x…)".
    std::wstring Describe() const;
};

// The route for this process: None for the system account, DesktopShell when the token is
// elevated, else Plain.
UserStartRoute RouteForThisProcess();

// Starts file (a program, or a web page's address) with params in directory, the way the
// shell's "open" does, by the given route. COM is initialised on the calling thread when it
// is not yet. Never starts anything with this process's rights when the route is
// DesktopShell or None. Logs one line: what was asked and the result's description.
UserStartResult StartForUserVia(
    UserStartRoute route, const std::wstring& file, const std::wstring& params, const std::wstring& directory);

// StartForUserVia(RouteForThisProcess(), ...).
UserStartResult StartForUser(const std::wstring& file, const std::wstring& params, const std::wstring& directory);

} // namespace Utils
