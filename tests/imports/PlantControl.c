/* The control of the planted-DLL tests: a program without the installer's precautions that
   imports WTSAPI32 directly, so a planted WTSAPI32.dll beside it is loaded when the system
   searches the program's folder first. Given a DLL name, it also loads that DLL by name. */
#include <windows.h>
#include <wtsapi32.h>

int wmain(int argc, wchar_t** argv)
{
    /* The import is taken, never called: loading the program maps WTSAPI32 either way, and a
       planted stand-in cannot honour every caller's calling convention (a __stdcall caller on
       i686 expects the callee to pop its arguments). */
    void(WINAPI* volatile keepImport)(PVOID) = WTSFreeMemory;
    (void)keepImport;
    if (argc > 1 && LoadLibraryW(argv[1]) == NULL) {
        return 1;
    }
    return 0;
}
