// Test helper: starts a program for the user by the route given ("shell", "plain", "none",
// or "auto" for this process's own), prints the result's description and exits with 0 when
// it started, 1 when not. Run on a desktop of its own, it sees no desktop shell.
#include <windows.h>

#include <cstdio>
#include <string>

#include "utils/StartForUser.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        return 2;
    }
    const std::wstring route = argv[1];
    const std::wstring params = argc > 3 ? argv[3] : L"";
    const Utils::UserStartResult result = route == L"auto"
        ? Utils::StartForUser(argv[2], params, L"")
        : Utils::StartForUserVia(route == L"shell" ? Utils::UserStartRoute::DesktopShell
                : route == L"plain"                ? Utils::UserStartRoute::Plain
                                                   : Utils::UserStartRoute::None,
            argv[2], params, L"");
    std::fputws((result.Describe() + L"\n").c_str(), stdout);
    return result.Started() ? 0 : 1;
}
