#include <windows.h>

#include "app/SingleInstance.h"
#include "config/InstallerConfig.h"

namespace {

LONG WINAPI DeclineUnhandledException(EXCEPTION_POINTERS*)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    ::SetUnhandledExceptionFilter(DeclineUnhandledException);

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        return -1;
    }
    ParseCommandLine();

    instance.Release();
    return 0;
}
