#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "config/RunSettings.h"
#include "install/StageCallback.h"
#include "install/StageEvent.h"
#include "pipeline/InstallPlan.h"
#include "pipeline/StagePipeline.h"
#include "pipeline/WorkTempDir.h"
#include "utils/UniqueResource.h"

class CDownloader;
class CInstaller;
class CUninstaller;

// Chains the download of the package, the removal of an older version and the package run
// into one pipeline. Every attempt makes its own work folder (Pipeline::WorkFolder: new,
// unguessable, writable only by administrators and the system, held for the attempt). The
// package is downloaded into it, held there without write or delete sharing, checked as it
// is held (MD5, and the signer pin when one is set), and started from there with the hold
// kept; an older version's uninstaller runs from a copy in the same folder before that. So a
// failed or refused download, a failed removal or a stop before the package starts never
// costs the installed product, and nothing a standard user can write is run. The folder and
// all it holds are removed when the attempt ends, whatever its end, but for a package that was
// installed with a restart to come: its TEMP is the work folder, where it may have staged files
// to be moved into place at that restart, so the folder stays, protected, marked for removal at
// the next restart.
//
// Every stage event goes to the sink first, unchanged but for what the design's three values
// cannot carry (a signer refusal, the package's exit status), which goes typed beside them;
// then the pipeline does its own work for it (start the next stage, clean up files). Stop is
// final: once called, no stage and no retry starts again.
//
// A layout ("-layout=") ends after those checks: the held package is copied into the layout
// instead of removing or running anything.
//
// What is done is the session's plan (SetParams); the pipeline decides none of it again.
class CDownloadInstaller final : public Pipeline::StagePipeline {
public:
    // settings: the run's, read once at start-up (the pin, the proxy, the downloader, the
    // time limit).
    explicit CDownloadInstaller(StageEventSink sink, Config::RunSettings settings = {});
    // Stops (see Stop).
    ~CDownloadInstaller() override;
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    void SetStartGate(StartGate gate) override { m_startGate = std::move(gate); }

    // The plan the next Start applies.
    void SetParams(const Pipeline::InstallPlan& plan) override { m_plan = plan; }

    // Applies the plan. A removal only ("-uninstall=true"): no download and no package; the
    // installed uninstaller runs from a copy held in a work folder of its own, exactly as an
    // update removes the old version (the signer pin, the time limit, the start gate), and
    // once it has ended with a success and no failure, UNIST_CODE_REMOVED follows. Otherwise:
    // makes the attempt's work folder and starts the download into it (a folder that cannot
    // be made is a failed download); then the old version's removal, when the plan names an
    // uninstaller and its file exists; then the install folder is made and the package runs.
    // The stages of an earlier attempt have reported their end; their threads are joined
    // first. Does nothing once stopped.
    void Start() override;

    // Final: no stage and no retry starts after it; every stage still running is stopped
    // (a child still running is ended) and joined, and no event reaches the window any more.
    // The work folder is removed with all it holds. Window's thread; never from a stage.
    void Stop() override;

    // Waits up to timeoutMs each for the package's and the old uninstaller's run to end (a
    // verdict comes before that); true when neither runs.
    bool WaitForChildRuns(DWORD timeoutMs) const override;

    // Where the current attempt downloads and runs the package: "__Package_Vellumora.exe" in
    // its work folder; empty before Start or when no folder could be made.
    std::wstring DownloadPath() const { return m_downloadPath; }

private:
    void Forward(const StageEvent& event);
    // A stage's (code, progress, message) as it goes on: typed where the values carry more.
    void Forward(int code, double progress, const std::wstring& message);
    void StartRemovalOnly();
    // Runs start under the pipeline's lock unless the pipeline was stopped, so a stop either
    // comes first (nothing starts) or finds the stage started (and stops it).
    void StartStage(const std::function<void()>& start);
    // Drops the hold and the attempt's work folder (removed once no package run uses it).
    void CleanUpPackageFiles();
    // The package run has ended: its work folder goes.
    void OnPackageRunEnded();
    // After the downloader's own MD5 check: the hold that keeps the package as checked until
    // it runs, taken at once; the file as held is compared with the stamp its writer left
    // (its MD5 is read again only when they differ), then the signer pin (when set) checks
    // it. A package that cannot be held, or that changed, is not kept.
    enum class Acquired { Yes, SignatureRefused, Unheld, Changed };
    Acquired AcquirePackage(const std::string& checkedDigest);
    // After the hold: a package older than the plan's version floor is refused (its message
    // the text the user sees); nothing else is checked. Empty: it may be installed.
    std::optional<std::wstring> RefuseBelowVersionFloor() const;
    void KeepPackageLock(Utils::UniqueFileHandle lock);
    Utils::UniqueFileHandle TakePackageLock();
    void StartRemoval();
    void OnRemovalEvent(int code, double progress, const std::wstring& message);
    void OnRemovalEnded();
    // Starts the held package from the work folder, handing the hold to the run.
    void StartPackage();
    // A layout's end: the held package, the installer and its settings file are written into
    // the plan's layout folder, told as LAYOUT_CODE_WRITTEN or LAYOUT_CODE_FAIL.
    void WriteOfflineLayout();
    bool RemovesOldVersion() const { return m_removesOldVersion; }

    StageEventSink m_sink;
    const Config::RunSettings m_settings;
    StartGate m_startGate;
    Pipeline::InstallPlan m_plan;
    std::wstring m_downloadPath;
    bool m_removesOldVersion = false;
    bool m_removalOnly = false;
    const Config::SignerPin& m_signerPin = m_settings.signerPin;

    std::mutex m_stageMutex;
    bool m_closed = false; // under m_stageMutex
    std::atomic<bool> m_stopping { false }; // m_closed for the event path, which takes no lock
    // Written by the removal's events and read when its run has ended, on its thread.
    std::atomic<bool> m_removalSucceeded { false };
    std::atomic<bool> m_removalFailed { false };
    // The package run asked for a restart before its verdict and was a success (the session's
    // "installed, restart required"): its work folder, its TEMP, stays until that restart.
    std::atomic<bool> m_runVerdictSeen { false };
    std::atomic<bool> m_runAsksRestart { false };
    std::atomic<bool> m_runSucceeded { false };
    StageCallback m_onUninstall;
    // The folders and the holds, for a clean-up that may run while the next attempt starts.
    std::mutex m_filesMutex;

    Utils::UniqueFileHandle m_packageLock;
    Utils::UniqueFileHandle m_uninstallerCopyLock;
    // The attempt's work folder, and the one the package run in progress started from (the
    // previous attempt's while that run outlives its verdict); each is removed when its last
    // holder lets go.
    std::shared_ptr<Pipeline::WorkFolder> m_workFolder;
    std::shared_ptr<Pipeline::WorkFolder> m_runningFolder;
    std::unique_ptr<CDownloader> m_downloader;
    std::unique_ptr<CInstaller> m_installer;
    std::unique_ptr<CUninstaller> m_uninstaller;
};
