#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "config/SignerPin.h"
#include "install/StageCallback.h"
#include "install/StageRunner.h"
#include "utils/Thread.h"
#include "utils/UniqueResource.h"

// Runs a temporary copy of an older version's uninstaller silently on its own worker
// thread and turns its output lines into events 5002-5005.
class CUninstaller {
public:
    // installedDir is the folder of the installed copy, handed to the child as "_?=".
    CUninstaller(StageCallback callback, std::wstring uninstallerPath, std::wstring installedDir);
    // Stops a run that is still going (ending the child) and waits for its thread.
    ~CUninstaller();
    CUninstaller(const CUninstaller&) = delete;
    CUninstaller& operator=(const CUninstaller&) = delete;

    // Builds the command line, waits for an earlier run's thread, then starts a new run.
    // Start and Stop wait for the run's thread: never call them from this stage's callback.
    void Start();
    // Ends the running child, if any, and waits for the run; no event follows.
    void Stop();
    // Waits up to timeoutMs for the current run to end; true when no run is going.
    bool WaitForRun(DWORD timeoutMs) const;

    // The bound on the child's run in ms (0: none), from the next Start on.
    void SetTimeLimit(ULONGLONG timeLimitMs) { m_timeLimitMs = timeLimitMs; }
    // Runs on the removal's own thread before anything else (it is handed the stop event to
    // watch); a failure code ends the run with UNIST_CODE_FAIL and that code, 0 lets it go on.
    using BeforeRun = std::function<int(HANDLE stopEvent)>;
    void SetBeforeRun(BeforeRun beforeRun) { m_beforeRun = std::move(beforeRun); }
    // Called on the run's thread once the run is over (the child has ended, could not start,
    // or was stopped): a verdict line comes while the uninstaller may still be removing files.
    void SetRunEnded(std::function<void()> runEnded) { m_runEnded = std::move(runEnded); }
    // With a pin that checks, the copy must pass the signature check (Signature::CheckFile)
    // before it runs; a refused copy is deleted and not run.
    void SetSignerPin(Config::SignerPin pin) { m_signerPin = std::move(pin); }

    std::wstring BuildCommandLine() const;
    // Parses decoded output (one or more lines) and returns the verdict: 0 none, 1 success,
    // 1000 failure; the last verdict line wins.
    int Parse(const std::wstring& text);

    int CodePage() const noexcept { return m_codePage; }
    const std::wstring& CommandLine() const noexcept { return m_commandLine; }

private:
    void Run();
    void RunRemoval();
    void Raise(int code, double progress, const std::wstring& message);

    std::wstring m_commandLine;
    ULONGLONG m_timeLimitMs = 0;
    std::wstring m_uninstallerPath;
    std::wstring m_installedDir;
    int m_codePage = 0;
    BeforeRun m_beforeRun;
    std::function<void()> m_runEnded;
    Config::SignerPin m_signerPin;
    // Last, so its thread is joined before any other member goes away.
    StageRunner m_runner;
};
