#include "app/CrashDump.h"

#include <windows.h>

#include <dbghelp.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "config/ExitCodes.h"
#include "config/InstallerConfig.h"
#include "utils/GuardedPath.h"
#include "utils/Log.h"
#include "utils/LogFile.h"
#include "utils/ModuleVersion.h"

namespace App {
namespace {

using WriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
    PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Made before any crash: after one, the heap may be what broke.
wchar_t g_folder[MAX_PATH] = {};
// The folder, walked by handle at start: the dump is made in it, whatever its path leads to
// by the time of the crash.
Utils::GuardedFolder g_heldFolder;
wchar_t g_version[64] = {};
bool g_quiet = false;
LONG g_entered = 0;

// Loaded from the system folder only, like every DLL the installer loads late.
WriteDumpFn LoadWriter()
{
    const HMODULE dbghelp = ::LoadLibraryExW(L"dbghelp.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return dbghelp
        ? reinterpret_cast<WriteDumpFn>(reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")))
        : nullptr;
}

struct DumpJob {
    const wchar_t* name;
    DWORD threadId;
    EXCEPTION_POINTERS* exception;
    volatile bool written;
};

// Wine's dbghelp takes many seconds on a busy machine; Windows' well under one.
constexpr DWORD kWriteLimitMs = 60000;

DWORD WINAPI WriteDumpFile(void* jobData)
{
    auto* job = static_cast<DumpJob*>(jobData);
    const WriteDumpFn writeDump = LoadWriter();
    if (!writeDump) {
        return 0;
    }
    // Some dbghelp builds (Wine's) read every module's debug information first unless told to
    // wait for a symbol to be asked for; a dump needs none of it.
    using SetOptionsFn = DWORD(WINAPI*)(DWORD);
    if (const HMODULE dbghelp = ::GetModuleHandleW(L"dbghelp.dll")) {
        if (const auto setOptions
            = reinterpret_cast<SetOptionsFn>(reinterpret_cast<void*>(::GetProcAddress(dbghelp, "SymSetOptions")))) {
            setOptions(SYMOPT_DEFERRED_LOADS);
        }
    }
    // A new file only: the folder may be one a user can write, and a name planted there in
    // advance (a file the user can read, or a link) must not receive what the dump holds.
    Utils::UniqueFileHandle file;
    if (g_heldFolder.OpenFile(job->name, GENERIC_WRITE | DELETE, 0, FILE_CREATE, file) != ERROR_SUCCESS) {
        return 0;
    }
    MINIDUMP_EXCEPTION_INFORMATION where { job->threadId, job->exception, FALSE };
    // MiniDumpNormal: threads, their stacks and the module list; no heap, so no setting or
    // password kept there goes with it.
    const bool written = writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file.get(), MiniDumpNormal, &where,
                             nullptr, nullptr)
        != FALSE;
    if (!written) {
        FILE_DISPOSITION_INFO disposition { TRUE };
        ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    }
    job->written = written;
    return 0;
}

LONG WINAPI WriteDump(EXCEPTION_POINTERS* exception)
{
    // A second crash, on another thread or inside this one, writes nothing more.
    if (::InterlockedExchange(&g_entered, 1) != 0) {
        ::Sleep(INFINITE);
    }
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    wchar_t name[80] = {};
    std::swprintf(name, 80, L"VellumoraInstaller-%ls-%04u%02u%02u-%02u%02u%02u.dmp", g_version, now.wYear, now.wMonth,
        now.wDay, now.wHour, now.wMinute, now.wSecond);

    // Written from a thread of its own: the crashed one may have too little stack left, and
    // a process cannot take a consistent picture of the thread that takes it. A writer that
    // does not come back is not waited for beyond the bound.
    DumpJob job { name, ::GetCurrentThreadId(), exception, false };
    const HANDLE writer = ::CreateThread(nullptr, 256 * 1024, &WriteDumpFile, &job, 0, nullptr);
    if (writer) {
        ::WaitForSingleObject(writer, kWriteLimitMs);
        ::CloseHandle(writer);
    }
    const bool written = job.written;
    const DWORD code = exception && exception->ExceptionRecord ? exception->ExceptionRecord->ExceptionCode : 0;
    if (written) {
        LOG(L"crash: exception 0x%08lx; dump written to %s%s\r\n", code, g_folder, name);
    } else {
        LOG(L"crash: exception 0x%08lx; no dump could be written (%lu)\r\n", code, ::GetLastError());
    }
    if (g_quiet) {
        LOG(L"quiet: exit code %d\r\n", Config::ExitCode::kInternalFailure);
        ::TerminateProcess(::GetCurrentProcess(), Config::ExitCode::kInternalFailure);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

#ifdef VLM_CRASH_SWITCH
// Test builds only: VLM_TEST_CRASH=window or worker raises an access violation on the
// window's thread (this one) or on a worker thread.
DWORD WINAPI Crash(void*)
{
    // Read at run time, so the compiler cannot turn the write into a trap of its own.
    volatile std::uintptr_t address = 0;
    *reinterpret_cast<volatile int*>(address) = 1;
    return 0;
}

void CrashIfAsked()
{
    wchar_t where[16] = {};
    ::GetEnvironmentVariableW(L"VLM_TEST_CRASH", where, 16);
    if (std::wcscmp(where, L"window") == 0) {
        Crash(nullptr);
    } else if (std::wcscmp(where, L"worker") == 0) {
        const HANDLE thread = ::CreateThread(nullptr, 0, &Crash, nullptr, 0, nullptr);
        if (thread) {
            ::WaitForSingleObject(thread, INFINITE);
            ::CloseHandle(thread);
        }
    }
}
#endif

} // namespace

void InstallCrashDumps(bool unattended)
{
    g_quiet = unattended;
    std::wstring folder = Utils::LogFilePath();
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    if (folder.empty() || folder.size() >= MAX_PATH) {
        const DWORD length = ::GetTempPathW(MAX_PATH, g_folder);
        g_folder[length < MAX_PATH ? length : 0] = L'\0';
    } else {
        std::wcsncpy(g_folder, folder.c_str(), MAX_PATH - 1);
    }
    std::wstring version = Utils::ModuleFileVersion();
    std::wcsncpy(g_version, version.empty() ? L"0" : version.c_str(), 63);
    // Refused (a link on the way): no dump, said now; the crash then says none could be written.
    if (const DWORD error = Utils::GuardedFolder::Open(g_folder, g_heldFolder); error != ERROR_SUCCESS) {
        LOG(L"crash dumps cannot be written to '%s' (error %lu)\r\n", g_folder, error);
    }
    ::SetUnhandledExceptionFilter(WriteDump);
#ifdef VLM_CRASH_SWITCH
    CrashIfAsked();
#endif
}

} // namespace App
