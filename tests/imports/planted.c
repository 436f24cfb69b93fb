/* A DLL planted beside a program under the name of one it uses: exports that DLL's
   functions (stubs, never meant to run) and leaves a marker file when it is loaded, in the
   folder named by VLM_PLANTED_MARKERS. */
#include <windows.h>

#include <wchar.h>

#define PLANTED_STUB_STATUS 0x504Cu

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH] = { 0 };
        const DWORD length = GetEnvironmentVariableW(L"VLM_PLANTED_MARKERS", path, MAX_PATH);
        if (length > 0 && length < MAX_PATH - 64) {
            wcscat(path, L"\\" PLANTED_NAME L".marker");
            HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
            if (marker != INVALID_HANDLE_VALUE) {
                CloseHandle(marker);
            }
        }
    }
    return TRUE;
}

/* Every export. It is never meant to run: a program that calls it has loaded a planted DLL.
   It cannot know the caller's convention and argument size (on i686 a __stdcall caller expects
   the callee to pop its arguments, and a plain return would corrupt the caller's stack), so it
   ends the process at once, with a status ("PL") that no caller expects. */
void PlantedStub(void)
{
    ExitProcess(PLANTED_STUB_STATUS);
}
