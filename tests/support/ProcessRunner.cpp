#include "support/ProcessRunner.h"

#include <thread>

#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

namespace TestSupport {

std::wstring BinDirectory()
{
    return Utils::ModuleDirectory();
}

std::wstring QuoteArgument(const std::wstring& argument)
{
    return Utils::QuoteCommandLineArgument(argument);
}

namespace {

// Waits for the process; one still running after timeoutMs is killed and reported.
void WaitForEnd(HANDLE process, DWORD timeoutMs, ProcessResult& result)
{
    if (::WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        result.timedOut = true;
        ::TerminateProcess(process, 0xDEAD);
        ::WaitForSingleObject(process, 5000);
    }
    ::GetExitCodeProcess(process, &result.exitCode);
}

} // namespace

ProcessResult RunProcessToFile(const std::wstring& commandLine, const std::wstring& outputFile, DWORD timeoutMs)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueFileHandle output(::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        return result;
    }
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info {};
    std::wstring mutableLine = commandLine;
    if (!::CreateProcessW(
            nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        return result;
    }
    result.started = true;
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    output.reset();
    WaitForEnd(process.get(), timeoutMs, result);
    result.output = ReadFileBytes(outputFile);
    return result;
}

ProcessResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs, const std::wstring& workingDirectory)
{
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueHandle readEnd;
    Utils::UniqueHandle writeEnd;
    if (!::CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0)) {
        return result;
    }
    ::SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    startup.hStdInput = nullptr;
    PROCESS_INFORMATION info {};
    std::wstring mutableLine = commandLine;
    if (!::CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
            workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &startup, &info)) {
        return result;
    }
    result.started = true;
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    writeEnd.reset(); // or the read below never sees the end

    std::thread reader([&result, &readEnd] {
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            result.output.append(buffer, got);
        }
    });
    WaitForEnd(process.get(), timeoutMs, result);
    reader.join();
    return result;
}

} // namespace TestSupport
