#include <windows.h>

#include "app/SingleInstance.h"
#include "config/InstallerConfig.h"
#include "ui/CMainWnd.h"
#include "utils/Log.h"

namespace {

LONG WINAPI DeclineUnhandledException(EXCEPTION_POINTERS*)
{
    return EXCEPTION_CONTINUE_SEARCH;
}

// The window's whole life: created, centred, run modally, destroyed (which stops and
// joins the pipeline and the network check).
void RunMainWindow()
{
    CMainWnd window;
    if (!window.Create(nullptr, L"Vellumora", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        LOG(L"main window not created: %s\r\n", window.GetLoadError().c_str());
        return;
    }
    window.CenterWindow();
    window.ShowModal();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    ::SetUnhandledExceptionFilter(DeclineUnhandledException);

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        return -1; // another copy runs: say nothing, show nothing
    }
    ParseCommandLine();

    RunMainWindow();

    instance.Release();
    return 0;
}
