// Calls WinVerifyTrust through the installer's delay-load helper, without the installer's
// restriction of the DLL search: as on a system that lacks SetDefaultDllDirectories, where a
// search by name starts in the program's folder. Prints what the call returned.
#include <windows.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>

int main()
{
    WINTRUST_FILE_INFO file {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = L"C:\\no such folder\\no such file.exe";
    WINTRUST_DATA data {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    ::SetLastError(0);
    const LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const DWORD error = ::GetLastError();
    std::printf("WinVerifyTrust 0x%08lX error %lu\n", static_cast<unsigned long>(status), error);
    return 0;
}
