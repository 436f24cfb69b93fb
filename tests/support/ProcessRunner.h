#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace TestSupport {

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    std::string output; // standard output and standard error, as bytes
};

// Runs a command line with its output captured; a child still running after timeoutMs is
// killed and reported as timed out, so no test waits without a limit.
ProcessResult RunProcess(
    const std::wstring& commandLine, DWORD timeoutMs = 20000, const std::wstring& workingDirectory = L"");

// The same with the output going to a file, read back at the end: for programs whose own
// children (Wine's helper processes among them) may hold a pipe open after they end.
ProcessResult RunProcessToFile(
    const std::wstring& commandLine, const std::wstring& outputFile, DWORD timeoutMs = 20000);

// Folder of the running test program (build/bin), where the helper programs are.
std::wstring BinDirectory();

// Quotes one argument by the CommandLineToArgvW rules.
std::wstring QuoteArgument(const std::wstring& argument);

} // namespace TestSupport
