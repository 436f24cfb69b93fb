#include "app/DllSearch.h"

#include <windows.h>

namespace App {

void RestrictDllSearch()
{
    // Windows 8 and later, and Windows 7 with KB2533623; looked up so the program still
    // starts without it (the delay-load helper then loads by full system path anyway).
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    if (HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll")) {
        auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault) {
            setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
        }
    }
    // Takes the current folder out of the search, where the call above is missing.
    ::SetDllDirectoryW(L"");
}

} // namespace App
