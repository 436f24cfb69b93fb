// What the installer starts for the user (the product, web pages) is started by the desktop
// shell's process when there is one, never by the installer itself; without one, nothing.
// The probe program does the start, so each case has a process of its own; its "no shell"
// build stands in a shell class nobody serves, as in a session without the desktop shell.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"
#include "utils/UniqueResource.h"

namespace {

struct ProcessInfo {
    DWORD id = 0;
    DWORD parent = 0;
};

ProcessInfo FindProcess(const std::wstring& name)
{
    Utils::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, name.c_str()) == 0) {
            return { entry.th32ProcessID, entry.th32ParentProcessID };
        }
    }
    return {};
}

std::wstring NameOf(DWORD id)
{
    Utils::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == id) {
            return entry.szExeFile;
        }
    }
    return {};
}

void EndProcess(DWORD id)
{
    Utils::UniqueHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (process) {
        ::TerminateProcess(process.get(), 0);
        ::WaitForSingleObject(process.get(), 5000);
    }
}

struct ProbeRun {
    bool ended = false;
    DWORD error = 0;
    DWORD exitCode = 0;
    DWORD id = 0;
    std::string output;
};

// Runs a probe, its output into a file (Wine's helper processes may inherit it and keep it
// open: one file per run).
ProbeRun RunProbe(const std::wstring& probe, const std::wstring& arguments, const std::wstring& outputFile)
{
    ProbeRun run;
    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueFileHandle output(::CreateFileW(
        outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring line = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\" + probe) + L" " + arguments;
    STARTUPINFOW startup { sizeof(startup) };
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info {};
    if (!output
        || !::CreateProcessW(
            nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        run.error = ::GetLastError();
        return run;
    }
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    output.reset();
    run.id = info.dwProcessId;
    if (::WaitForSingleObject(process.get(), 20000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 99);
        run.error = WAIT_TIMEOUT;
        return run;
    }
    run.ended = ::GetExitCodeProcess(process.get(), &run.exitCode) != FALSE;
    run.output = TestSupport::ReadFileBytes(outputFile);
    return run;
}

} // namespace

TEST(StartForUser, TheShellStartsItOrNothingDoes)
{
    TestSupport::TempDir dir { L"startforuser" };
    const struct {
        const char* name;
        const wchar_t* route;
        const wchar_t* probe;
        bool starts;
        const char* said;
        const wchar_t* parent; // the started program's parent; nullptr: the probe itself
    } cases[] = {
        { "elevated, with the desktop shell", L"shell", L"vlm_start_for_user_probe.exe", true,
            "started through the desktop shell", L"explorer.exe" },
        { "not elevated", L"plain", L"vlm_start_for_user_probe.exe", true, "started with this process's own", nullptr },
        { "the system account", L"none", L"vlm_start_for_user_probe.exe", false,
            "not started: this runs as the system account", nullptr },
        { "elevated, no shell in the session", L"shell", L"vlm_start_for_user_probe_no_shell.exe", false,
            "not started: no desktop shell", nullptr },
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A copy under a name of its own, so the started program is found by name.
        const std::wstring name = L"vlm-user-start-" + std::to_wstring(index++) + L".exe";
        const std::wstring program = dir / name;
        ASSERT_TRUE(::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), program.c_str(), FALSE));
        const ProbeRun run
            = RunProbe(c.probe, c.route + std::wstring(L" ") + TestSupport::QuoteArgument(program) + L" 15000",
                dir / (L"probe-" + std::to_wstring(index) + L".txt"));
        ASSERT_TRUE(run.ended) << run.error;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << run.output;
        EXPECT_EQ(run.exitCode, c.starts ? 0u : 1u) << run.output;
        ProcessInfo started;
        const bool found
            = TestSupport::WaitUntil([&] { return (started = FindProcess(name)).id != 0; }, c.starts ? 10000 : 500);
        EXPECT_EQ(found, c.starts);
        if (found && c.starts) {
            if (c.parent) {
                EXPECT_EQ(NameOf(started.parent), c.parent) << "started by the shell's process, not by the caller";
            } else {
                EXPECT_EQ(started.parent, run.id);
            }
        }
        if (found) {
            EndProcess(started.id);
        }
    }
}
