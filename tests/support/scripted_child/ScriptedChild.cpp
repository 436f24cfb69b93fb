// Test helper: a console program that plays a script of output lines, pauses, standard
// error, and an exit code, so tests can run it as the package or as an old uninstaller.
//
// The command line is whatever the installer builds, so the script is found by the name
// this copy of the program has:
//   1. "--script PATH" on the command line (for direct runs);
//   2. a file beside the program named after it with ".script" for ".exe", or one in the
//      folder of its "-instdir=" option (a package runs from the installer's work folder);
//   3. the environment variable VLM_CHILD_SCRIPT_<name without .exe>;
//   4. the environment variable VLM_CHILD_SCRIPT.
// Without any script the program writes nothing and ends with 0. A script that cannot be
// read or parsed produces an "Error=" line, so the test sees the failure.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "ChildScript.h"

namespace {

std::wstring Utf8ToWide(const std::string& text)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

bool WriteAll(HANDLE handle, const char* data, std::size_t size)
{
    while (size > 0) {
        DWORD written = 0;
        if (!::WriteFile(handle, data, static_cast<DWORD>(size), &written, nullptr)) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    HANDLE file = ::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    ::CloseHandle(file);
    return true;
}

std::wstring Environment(const std::wstring& name)
{
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD size = ::GetEnvironmentVariableW(name.c_str(), value, MAX_PATH * 2);
    return size > 0 && size < MAX_PATH * 2 ? std::wstring(value, size) : std::wstring();
}

std::wstring FindScript()
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::wstring fromArguments;
    for (int i = 1; argv && i + 1 < argc; ++i) {
        if (std::wstring(argv[i]) == L"--script") {
            fromArguments = argv[i + 1];
        }
    }
    ::LocalFree(argv);
    if (!fromArguments.empty()) {
        return fromArguments;
    }

    wchar_t modulePath[MAX_PATH * 2] = {};
    ::GetModuleFileNameW(nullptr, modulePath, MAX_PATH * 2);
    std::wstring path = modulePath;
    const std::size_t slash = path.find_last_of(L"\\/");
    std::wstring name = path.substr(slash == std::wstring::npos ? 0 : slash + 1);
    std::wstring stem = path;
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos) {
        stem.resize(path.size() - (name.size() - dot));
        name.resize(dot);
    }
    const std::wstring beside = stem + L".script";
    if (::GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return beside;
    }
    // A package runs from a work folder of the installer's: its script waits in the install
    // folder its options name.
    const std::wstring commandLine = ::GetCommandLineW();
    const std::size_t option = commandLine.find(L" -instdir=\"");
    if (option != std::wstring::npos) {
        const std::size_t start = option + 11;
        const std::size_t end = commandLine.find(L'"', start);
        const std::wstring inInstallFolder = commandLine.substr(start, end - start) + L"\\" + name + L".script";
        if (end != std::wstring::npos && ::GetFileAttributesW(inInstallFolder.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return inInstallFolder;
        }
    }
    std::wstring named = Environment(L"VLM_CHILD_SCRIPT_" + name);
    return named.empty() ? Environment(L"VLM_CHILD_SCRIPT") : named;
}

int Fail(HANDLE out, const std::string& reason)
{
    const std::string line = "Error=scripted child: " + reason + "\n";
    WriteAll(out, line.data(), line.size());
    return 3;
}

} // namespace

int main()
{
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    const std::wstring scriptPath = FindScript();
    if (scriptPath.empty()) {
        return 0;
    }
    std::string script;
    if (!ReadWholeFile(scriptPath, script)) {
        return Fail(out, "cannot read the script");
    }
    std::string error;
    const std::vector<ChildStep> steps = ParseChildScript(script, error);
    if (!error.empty()) {
        return Fail(out, error);
    }

    std::string queue;
    auto flush = [&] {
        const bool ok = WriteAll(out, queue.data(), queue.size());
        queue.clear();
        return ok;
    };
    for (const ChildStep& step : steps) {
        switch (step.kind) {
        case ChildStep::Kind::CommandLine:
        case ChildStep::Kind::CurrentDirectory: {
            wchar_t directory[MAX_PATH * 2] = {};
            ::GetCurrentDirectoryW(MAX_PATH * 2, directory);
            // The current directory with the temporary folders the child was given.
            const std::wstring commandLine = step.kind == ChildStep::Kind::CommandLine
                ? std::wstring(::GetCommandLineW())
                : std::wstring(directory) + L"\n" + Environment(L"TEMP") + L"\n" + Environment(L"TMP");
            HANDLE file
                = ::CreateFileW(Utf8ToWide(step.bytes).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                WriteAll(file, reinterpret_cast<const char*>(commandLine.data()), commandLine.size() * sizeof(wchar_t));
                ::CloseHandle(file);
            }
            break;
        }
        case ChildStep::Kind::Queue:
            queue += step.bytes;
            break;
        case ChildStep::Kind::Flush:
            if (!flush()) {
                return 4;
            }
            break;
        case ChildStep::Kind::CloseOutput:
            flush();
            ::CloseHandle(out);
            out = INVALID_HANDLE_VALUE;
            break;
        case ChildStep::Kind::Sleep:
            ::Sleep(step.number);
            break;
        case ChildStep::Kind::StdErr: {
            const std::string block(4096, 'e');
            for (unsigned long left = step.number; left > 0;) {
                const std::size_t now = left < block.size() ? left : block.size();
                if (!WriteAll(err, block.data(), now)) {
                    return 5;
                }
                left -= static_cast<unsigned long>(now);
            }
            break;
        }
        case ChildStep::Kind::Spam: {
            std::string block;
            while (block.size() < 4096) {
                block += "Noise=after the verdict, ignored by every reader\n";
            }
            for (unsigned long left = step.number; left > 0;) {
                std::size_t now = left < block.size() ? left : block.size();
                now = block.find('\n', now - 1) + 1; // whole lines only
                if (!WriteAll(out, block.data(), now)) {
                    return 6;
                }
                left -= now < left ? static_cast<unsigned long>(now) : left;
            }
            break;
        }
        case ChildStep::Kind::Spawn: {
            // The new process inherits our standard streams, as a program started by a
            // package may; it is left running.
            std::wstring commandLine = Utf8ToWide(step.bytes);
            STARTUPINFOW startup {};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info {};
            if (!::CreateProcessW(
                    nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
                return Fail(out, "cannot spawn " + step.bytes);
            }
            ::CloseHandle(info.hThread);
            ::CloseHandle(info.hProcess);
            break;
        }
        case ChildStep::Kind::ReadInput: {
            char buffer[512];
            DWORD got = 0;
            while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &got, nullptr) && got > 0) { }
            const DWORD error = ::GetLastError();
            if (got != 0 || (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF && error != ERROR_SUCCESS)) {
                return Fail(out, "reading standard input failed");
            }
            break;
        }
        case ChildStep::Kind::Stamp: {
            wchar_t modulePath[MAX_PATH * 2] = {};
            ::GetModuleFileNameW(nullptr, modulePath, MAX_PATH * 2);
            std::wstring name = modulePath;
            name = name.substr(name.find_last_of(L"\\/") + 1);
            FILETIME now {};
            ::GetSystemTimeAsFileTime(&now);
            const unsigned long long ticks
                = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
            std::string line(name.begin(), name.end()); // program names are ASCII here
            line += " " + std::to_string(ticks) + "\n";
            HANDLE file = ::CreateFileW(Utf8ToWide(step.bytes).c_str(), FILE_APPEND_DATA,
                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                WriteAll(file, line.data(), line.size());
                ::CloseHandle(file);
            }
            break;
        }
        case ChildStep::Kind::Stage: {
            wchar_t temp[MAX_PATH + 1] = {};
            const DWORD length = ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH + 1);
            const std::wstring staged = std::wstring(temp, length > MAX_PATH ? 0 : length) + L"\\staged.bin";
            HANDLE file = ::CreateFileW(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                return Fail(out, "cannot stage a file in TEMP");
            }
            WriteAll(file, "staged", 6);
            ::CloseHandle(file);
            if (!::MoveFileExW(staged.c_str(), Utf8ToWide(step.bytes).c_str(),
                    MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING)) {
                return Fail(out, "cannot ask for the staged file's move at the restart");
            }
            break;
        }
        case ChildStep::Kind::Exit:
            flush();
            return static_cast<int>(step.number);
        }
    }
    flush();
    return 0;
}
