#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "config/RunSettings.h"
#include "install/StageCallback.h"
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
// all it holds are removed when the attempt ends, whatever its end.
//
// Every stage event goes to the window's callback first, unchanged; then the pipeline does
// its own work for it (start the next stage, clean up files). Stop is final: once called, no
// stage and no retry starts again.
class CDownloadInstaller {
public:
    // settings: the run's, read once at start-up (the pin, the proxy, the downloader, the
    // time limit, the package's extra arguments).
    explicit CDownloadInstaller(StageCallback windowCallback, Config::RunSettings settings = {});
    // Stops (see Stop).
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    // Runs on the stage's own thread before the old uninstaller and before the package
    // start (it is handed the stop event to watch); a failure code ends that stage with its
    // failure event and the code, 0 lets it start.
    using StartGate = std::function<int(HANDLE stopEvent)>;
    void SetStartGate(StartGate gate) { m_startGate = std::move(gate); }

    // installedDir is accepted for the window's sake and not used here.
    void SetParams(const std::wstring& downloadUrl, const std::wstring& installedDir,
        const std::wstring& oldUninstallerPath, const std::wstring& installDir, bool dsc, bool ssc, bool adminact,
        bool authorizationact, const std::wstring& installLanguage);

    // Makes the attempt's work folder and starts the download into it, then returns (a folder
    // that cannot be made is a failed download). The stages of an earlier attempt have reported their end; their
    // threads are joined first. Does nothing once stopped.
    void Start();

    // Final: no stage and no retry starts after it; every stage still running is stopped
    // (a child still running is ended) and joined, and no event reaches the window any more.
    // The work folder is removed with all it holds. Window's thread; never from a stage.
    void Stop();

    // A removal without an install ("-uninstall=true"): no download and no package. Makes a
    // work folder and runs the installed uninstaller from a copy held there, exactly as an
    // update removes the old version (the signer pin, the time limit, the start gate). Its
    // events follow as in an update; once it has ended with a success and no failure,
    // UNIST_CODE_REMOVED. Does nothing once stopped.
    void StartRemovalOnly(const std::wstring& uninstallerPath);

    // Waits up to timeoutMs each for the package's and the old uninstaller's run to end (a
    // verdict comes before that); true when neither runs.
    bool WaitForChildRuns(DWORD timeoutMs) const;

    // Where the current attempt downloads and runs the package: "__Package_Vellumora.exe" in
    // its work folder; empty before Start or when no folder could be made.
    std::wstring DownloadPath() const { return m_downloadPath; }

private:
    void Forward(int code, double progress, const std::wstring& message);
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
    void KeepPackageLock(Utils::UniqueFileHandle lock);
    Utils::UniqueFileHandle TakePackageLock();
    void StartRemoval();
    void OnRemovalEvent(int code, double progress, const std::wstring& message);
    void OnRemovalEnded();
    // Starts the held package from the work folder, handing the hold to the run.
    void StartPackage();
    bool RemovesOldVersion() const { return m_removesOldVersion; }

    StageCallback m_windowCallback;
    const Config::RunSettings m_settings;
    StartGate m_startGate;
    std::wstring m_downloadUrl;
    std::wstring m_oldUninstallerPath;
    std::wstring m_installDir;
    std::wstring m_downloadPath;
    bool m_removesOldVersion = false;
    bool m_removalOnly = false;
    std::wstring m_installLanguage;
    bool m_dsc = true;
    bool m_ssc = true;
    bool m_adminact = true;
    bool m_authorizationact = true;
    const Config::SignerPin& m_signerPin = m_settings.signerPin;

    std::mutex m_stageMutex;
    bool m_closed = false; // under m_stageMutex
    std::atomic<bool> m_stopping { false }; // m_closed for the event path, which takes no lock
    // Written by the removal's events and read when its run has ended, on its thread.
    std::atomic<bool> m_removalSucceeded { false };
    std::atomic<bool> m_removalFailed { false };
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
