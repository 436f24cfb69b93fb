#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "install/OverlappedPipeReader.h"
#include "install/Pipe.h"
#include "utils/UniqueResource.h"

// The folder of the program a command line starts (its first, possibly quoted, token); ""
// when it names no folder.
std::wstring ProgramFolder(const std::wstring& commandLine);

// This process's environment with TMP and TEMP set to folder, as a sorted Unicode block.
std::vector<wchar_t> EnvironmentWithTemporaryFolder(const std::wstring& folder);

// A hidden child process with its standard streams on pipes. Standard output is read in
// chunks of at most kChunkBytes; standard error is read and thrown away meanwhile, so a
// child that writes much to it never blocks; standard input is at its end from the start,
// so a child that reads it never waits. Owned by one runner thread for one run.
class CChildProcess {
public:
    static constexpr DWORD kChunkBytes = 1024;
    // Once the child has ended, a pipe still held open by a process it left behind is
    // read for this long at most before the reader stops waiting for its end.
    static constexpr DWORD kOutputGraceAfterExitMs = 1000;

    struct Output {
        enum class Status { Data, Ended, Stopped, TimedOut };
        Status status = Status::Ended;
        std::string_view bytes; // valid until the next read
    };

    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Bounds the run, counted from the start: once timeLimitMs have passed, the reads and
    // the wait below give up (TimedOut, TimeLimitReached). 0: no bound. Call before Start.
    void SetTimeLimit(ULONGLONG timeLimitMs) noexcept { m_timeLimitMs = timeLimitMs; }
    bool TimeLimitReached() const noexcept { return m_timedOut; }

    // Creates the error, output and input pipes, in this order; throws Utils::Exception.
    void CreatePipes();
    // Starts the command line hidden with the pipes as its standard streams, in the
    // program's own folder (ProgramFolder) as its current directory and its TMP and TEMP; throws
    // Utils::Exception when the process cannot be created. The child runs in a job object of
    // its own, so EndAll reaches every process it starts; until KeepWhatItStarted, closing the
    // job (this installer ending, even by a crash) ends them all too.
    void Start(const std::wstring& commandLine);

    // Waits for the next chunk of standard output, for its end, or for stopEvent.
    Output ReadOutput(HANDLE stopEvent);
    // Waits for the process to end (still discarding standard error); false when
    // stopEvent or the time limit came first.
    bool WaitForExit(HANDLE stopEvent);
    bool HasEnded() const;
    // The status the child ended with; STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    // Ends this child (and only it) at once.
    void Terminate();
    // Ends the child and every process in its job (all it started, theirs too), and waits
    // a few seconds for them to be gone; logs and returns how many were running. Without a
    // job, the child alone.
    DWORD EndAll();
    // From now on what the child started outlives the job's closing (a product started after
    // the verdict): only EndAll ends it.
    void KeepWhatItStarted();
    // Closes the thread handle, the process handle, then the input, output and error pipes.
    void Release();

    DWORD ProcessId() const noexcept { return m_processId; }

private:
    bool DiscardError(DWORD waitResult, DWORD errorIndex);
    // Milliseconds left of the time limit, INFINITE without one.
    DWORD TimeLeft() const;
    // True (and from then on TimeLimitReached) once the limit has passed with the child
    // still running.
    bool TimedOutNow();

    std::vector<wchar_t> m_commandLine;
    CPipe m_errorPipe;
    CPipe m_outputPipe;
    CPipe m_inputPipe;
    Utils::UniqueHandle m_process;
    Utils::UniqueHandle m_thread;
    DWORD m_processId = 0;
    DWORD m_threadId = 0;
    std::unique_ptr<OverlappedPipeReader> m_outputReader;
    std::unique_ptr<OverlappedPipeReader> m_errorReader;
    bool m_exitSeen = false;
    ULONGLONG m_graceDeadline = 0;
    ULONGLONG m_timeLimitMs = 0;
    ULONGLONG m_deadline = 0;
    bool m_timedOut = false;
    Utils::UniqueHandle m_job;
    bool m_killOnClose = false;
};
