// The delay-loaded DLLs (src/app/CMakeLists.txt) come from the system folder by full path,
// never from the program's folder, whatever the system's search order or its age.
//
// This replaces the runtime's delay-load helper rather than hooking it: when its hook cannot
// load a DLL, the runtime's helper falls back to LoadLibrary(name), which searches the
// program's folder first wherever SetDefaultDllDirectories is missing (Windows 7 without its
// update). Here a DLL that does not load from the system folder makes its functions fail.
#include <windows.h>
#include <delayimp.h>

#include <cstring>

#include "app/FailingImports.h"
#include "config/ExitCodes.h"
#include "utils/Log.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

template <typename T> T FromRva(RVA rva)
{
    return reinterpret_cast<T>(reinterpret_cast<BYTE*>(&__ImageBase) + rva);
}

HMODULE LoadFromSystemFolder(const char* name)
{
    if (std::strpbrk(name, "\\/:") != nullptr) {
        ::SetLastError(ERROR_BAD_PATHNAME); // never happens for our imports
        return nullptr;
    }
    wchar_t path[MAX_PATH] = {};
    UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + 1 + std::strlen(name) >= MAX_PATH) {
        ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    path[length++] = L'\\';
    for (; *name; ++name) {
        path[length++] = static_cast<wchar_t>(static_cast<unsigned char>(*name));
    }
    // The altered search path makes the DLL's own dependencies come from its folder too.
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// The DLL of a descriptor, loaded once; a race between two first calls keeps one reference.
HMODULE ModuleOf(const char* dll, HMODULE* cached, DWORD& error)
{
    if (HMODULE module = static_cast<HMODULE>(
            ::InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(cached), nullptr, nullptr))) {
        return module;
    }
    HMODULE module = LoadFromSystemFolder(dll);
    if (!module) {
        error = ::GetLastError();
        return nullptr;
    }
    if (HMODULE earlier = static_cast<HMODULE>(
            ::InterlockedCompareExchangePointer(reinterpret_cast<PVOID*>(cached), module, nullptr))) {
        ::FreeLibrary(module);
        return earlier;
    }
    return module;
}

// Says why a function cannot come from the system folder, and what becomes of it.
void ReportMissing(const char* dll, const char* function, bool loaded, DWORD error, bool standIn)
{
    const char* problem = loaded ? "in the system folder lacks the function" : "not loaded from the system folder";
    if (standIn) {
        LOG(L"%S %S (error %lu): %S fails, and no other copy is looked for\r\n", dll, problem, error, function);
    } else {
        LOG(L"%S %S (error %lu), and %S has no known failure: the installer stops\r\n", dll, problem, error,
            function ? function : "a function imported by ordinal");
    }
}

// What such a function becomes: its stand-in, which fails as the function fails, or, where no
// failure is known, the end of the program.
FARPROC StandInFor(const char* dll, const char* function, bool loaded, DWORD error)
{
    const FARPROC standIn = function ? App::FailingImport(dll, function) : nullptr;
    ReportMissing(dll, function, loaded, error, standIn != nullptr);
    if (!standIn) {
        ::TerminateProcess(::GetCurrentProcess(), Config::ExitCode::kInternalFailure);
        ::ExitProcess(Config::ExitCode::kInternalFailure);
    }
    return standIn;
}

} // namespace

// Called by the import thunks the first time each delay-loaded function is called; returns
// what the thunk jumps to, and stores it so that later calls go there directly.
extern "C" FARPROC WINAPI __delayLoadHelper2(PCImgDelayDescr descriptor, FARPROC* slot)
{
    const char* dll = "?";
    const char* function = nullptr;
    bool loaded = false;
    DWORD error = ERROR_INVALID_PARAMETER;
    FARPROC target = nullptr;
    if (descriptor->grAttrs & dlattrRva) {
        dll = FromRva<const char*>(descriptor->rvaDLLName);
        const auto* firstSlot = FromRva<const IMAGE_THUNK_DATA*>(descriptor->rvaIAT);
        const auto* names = FromRva<const IMAGE_THUNK_DATA*>(descriptor->rvaINT);
        const IMAGE_THUNK_DATA& name = names[reinterpret_cast<const IMAGE_THUNK_DATA*>(slot) - firstSlot];
        // Our import libraries name every function; one imported by ordinal has no known failure.
        if (!IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) {
            function = FromRva<const IMAGE_IMPORT_BY_NAME*>(static_cast<RVA>(name.u1.AddressOfData))->Name;
            if (HMODULE module = ModuleOf(dll, FromRva<HMODULE*>(descriptor->rvaHmod), error)) {
                loaded = true;
                target = ::GetProcAddress(module, function);
                error = target ? ERROR_SUCCESS : ::GetLastError();
            }
        }
    }
    if (!target) {
        target = StandInFor(dll, function, loaded, error);
    }
    ::InterlockedExchangePointer(reinterpret_cast<PVOID*>(slot), reinterpret_cast<PVOID>(target));
    return target;
}
