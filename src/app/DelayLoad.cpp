// The delay-loaded DLLs (src/app/CMakeLists.txt) come from the system folder by full path,
// never from the program's folder, whatever the system's search order or its age.
#include <windows.h>
#include <delayimp.h>

#include <cstring>

namespace {

FARPROC WINAPI LoadFromSystemFolder(unsigned notify, PDelayLoadInfo info)
{
    if (notify != dliNotePreLoadLibrary || !info || !info->szDll) {
        return nullptr;
    }
    const char* name = info->szDll;
    if (std::strpbrk(name, "\\/:") != nullptr) {
        return nullptr; // never happens for our imports: leave it to the default
    }
    wchar_t path[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 1) {
        return nullptr;
    }
    path[length++] = L'\\';
    for (; *name && length < MAX_PATH - 1; ++name) {
        path[length++] = static_cast<wchar_t>(static_cast<unsigned char>(*name));
    }
    path[length] = L'\0';
    // The altered search path makes the DLL's own dependencies come from its folder too.
    return reinterpret_cast<FARPROC>(::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

} // namespace

// Declared extern "C" by delayimp.h; this definition replaces the runtime's empty one.
PfnDliHook __pfnDliNotifyHook2 = LoadFromSystemFolder;
