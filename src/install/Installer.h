#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "install/PackageCommand.h"
#include "install/StageCallback.h"
#include "install/StageRunner.h"
#include "utils/Thread.h"
#include "utils/UniqueResource.h"

// Runs the downloaded package silently on its own worker thread and turns its output
// lines into events 2001-2004 and 3000-3012.
class CInstaller {
public:
    struct Version {
        int major = 0;
        int minor = 0;
        int patch = 0;
    };

    // packagePath: the package file (quoted when the command line is built); installDir: the
    // folder it is told ("-instdir=", "/D="), none when empty; command: the rest of its line.
    CInstaller(StageCallback callback, std::wstring packagePath, std::wstring installDir,
        Pipeline::PackageCommand command = {});
    // Stops a run that is still going (ending the package) and waits for its thread.
    ~CInstaller();
    CInstaller(const CInstaller&) = delete;
    CInstaller& operator=(const CInstaller&) = delete;

    // What the next Start runs: the next attempt's package, folder and command, all at once.
    void SetPackage(std::wstring packagePath, std::wstring installDir, Pipeline::PackageCommand command);
    // The bound on the package's run in ms (0: none), from the next Start on.
    void SetTimeLimit(ULONGLONG timeLimitMs) { m_timeLimitMs = timeLimitMs; }
    // Runs on the run's own thread before the package starts (it is handed the stop event to
    // watch); a failure code ends the run with IST_CODE_FAIL and that code, 0 lets it go on.
    using BeforeRun = std::function<int(HANDLE stopEvent)>;
    void SetBeforeRun(BeforeRun beforeRun) { m_beforeRun = std::move(beforeRun); }

    // Builds the command line, waits for an earlier run's thread, then starts a new run.
    // Start and Stop wait for the run's thread: never call them from this stage's callback.
    void Start();
    // Ends the running package, if any, and waits for the run; no event follows.
    void Stop();
    // Waits up to timeoutMs for the current run to end; true when no run is going.
    bool WaitForRun(DWORD timeoutMs) const;

    // Called on the run's thread once the package has ended (or could not start, or was
    // stopped): the moment its file can be deleted, which a verdict line comes before.
    void SetRunEnded(std::function<void()> runEnded) { m_runEnded = std::move(runEnded); }
    // The package file as its signature check left it: open, and locked against writing and
    // deleting. The next run holds it until the package has ended, then closes it.
    void SetPackageLock(Utils::UniqueFileHandle lock) { m_packageLock = std::move(lock); }

    std::wstring BuildCommandLine() const;
    // Parses decoded output (one or more lines) and returns the verdict: 0 none, 1 success,
    // 1000 failure; the last verdict line wins.
    int Parse(const std::wstring& text);

    int CodePage() const noexcept { return m_codePage; }
    Version InstalledVersion() const noexcept { return m_version; }
    const std::wstring& CommandLine() const noexcept { return m_commandLine; }

private:
    void Run();
    void RunPackage();
    void Raise(int code, double progress, const std::wstring& message);
    void ApplyEncode(const std::wstring& value);

    std::wstring m_packagePath;
    std::wstring m_installDir;
    Pipeline::PackageCommand m_command;
    std::wstring m_commandLine;
    ULONGLONG m_timeLimitMs = 0;
    BeforeRun m_beforeRun;
    int m_codePage = 0;
    Version m_version;
    std::function<void()> m_runEnded;
    Utils::UniqueFileHandle m_packageLock;
    // Last, so its thread is joined before any other member goes away.
    StageRunner m_runner;
};
