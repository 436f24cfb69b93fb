// Runs a program under a minimal debugger loop and prints every line it sends to the
// debugger output channel, as UTF-8 on standard output. Usage:
//   vlmlog.exe [--timeout=SECONDS] program.exe [arguments...]
// Exits with the program's exit code, or 1 when it could not be started, 2 on timeout.
#include <windows.h>

#include <string>
#include <vector>

#include "utils/Processes.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace {

constexpr DWORD kThreadNameException = 0x406D1388;

void WriteOut(const std::string& text)
{
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::wstring ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info)
{
    const std::size_t unit = info.fUnicode ? sizeof(wchar_t) : 1;
    std::vector<char> bytes(static_cast<std::size_t>(info.nDebugStringLength) * unit);
    SIZE_T read = 0;
    if (bytes.empty() || !::ReadProcessMemory(process, info.lpDebugStringData, bytes.data(), bytes.size(), &read)) {
        return {};
    }
    std::wstring text;
    if (info.fUnicode) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), read / sizeof(wchar_t));
    } else {
        text = Utils::MultiByteToWide(std::string_view(bytes.data(), read), CP_ACP);
    }
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    DWORD timeoutMs = INFINITE;
    if (argc > 1 && std::wstring(argv[1]).rfind(L"--timeout=", 0) == 0) {
        timeoutMs = static_cast<DWORD>(_wtoi(argv[1] + 10)) * 1000;
        first = 2;
    }
    if (first >= argc) {
        WriteOut("usage: vlmlog.exe [--timeout=SECONDS] program.exe [arguments...]\n");
        return 1;
    }
    std::wstring commandLine;
    for (int i = first; i < argc; ++i) {
        commandLine += (i > first ? L" " : L"") + Utils::QuoteCommandLineArgument(argv[i]);
    }

    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info {};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
            nullptr, &startup, &info)) {
        WriteOut("vlmlog: cannot start the program\n");
        return 1;
    }
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);

    const ULONGLONG deadline = timeoutMs == INFINITE ? 0 : ::GetTickCount64() + timeoutMs;
    bool sawLoaderBreakpoint = false;
    DWORD exitCode = 0;
    for (;;) {
        DEBUG_EVENT event {};
        if (!::WaitForDebugEvent(&event, 500)) {
            if (deadline != 0 && ::GetTickCount64() > deadline) {
                ::TerminateProcess(process.get(), 2);
                WriteOut("vlmlog: timed out\n");
                return 2;
            }
            continue;
        }
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            Utils::UniqueFileHandle(event.u.CreateProcessInfo.hFile).reset();
            break;
        case LOAD_DLL_DEBUG_EVENT:
            Utils::UniqueFileHandle(event.u.LoadDll.hFile).reset();
            break;
        case OUTPUT_DEBUG_STRING_EVENT: {
            std::wstring line = ReadDebugString(process.get(), event.u.DebugString);
            if (line.empty() || line.back() != L'\n') {
                line += L"\n";
            }
            WriteOut(Utils::WideToMultiByte(line, CP_UTF8));
            break;
        }
        case EXCEPTION_DEBUG_EVENT: {
            const DWORD code = event.u.Exception.ExceptionRecord.ExceptionCode;
            if (code == EXCEPTION_BREAKPOINT && !sawLoaderBreakpoint) {
                sawLoaderBreakpoint = true;
            } else if (code != kThreadNameException) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
            return static_cast<int>(exitCode);
        default:
            break;
        }
        ::ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
}
