#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// How a child's run ended; the runners switch on the status.
struct ChildRunResult {
    enum class Status {
        // The child ended and all of its output was handed over; exitCode is its status.
        Ended,
        // A pipe or the process could not be created; nothing runs.
        StartFailed,
        // stopEvent was set: the child has been ended (before its verdict, with every process
        // it started) and its output dropped.
        Stopped,
        // The time limit passed first: the child and every process it started have been ended.
        TimedOut,
    };
    Status status = Status::StartFailed;
    DWORD exitCode = 0;
};

// Runs commandLine as a hidden child and hands over its output as whole lines of bytes,
// one call per chunk read (the last, unterminated line in a call of its own). Reads to the
// end of the output, then waits for the child to end, for at most timeLimitMs from its
// start (0: no bound).
// A stop or the time limit ends the child with every process it started; verdictGiven,
// asked after each call of onLines, tells when the child has given its verdict: from then on
// a stop ends the child alone, and what it started (a product) outlives the run.
ChildRunResult RunChildForLines(const std::wstring& commandLine, HANDLE stopEvent,
    const std::function<void(const std::vector<std::string>& lines)>& onLines, ULONGLONG timeLimitMs = 0,
    const std::function<bool()>& verdictGiven = {});

// The status of a child that ended without a verdict line, for the log and the failure
// message: decimal for small values, hex for the system's status codes (0xC0000005).
std::wstring ExitStatusText(DWORD exitCode);
