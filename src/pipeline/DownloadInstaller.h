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
// into one pipeline. The package is acquired first: with an older version to remove, it is
// downloaded into a fresh work folder, checked (MD5, and the signer pin when one is set) and
// kept locked there; only then does the old uninstaller run, and once it has ended the
// package is moved into the install folder and started. So a failed or refused download, a
// failed removal or a stop before the package starts never costs the installed product.
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

    // Starts the download (into the work folder when an old version is to be removed) and
    // returns. The stages of an earlier attempt have reported their end; their threads are
    // joined first. Does nothing once stopped.
    void Start();

    // Final: no stage and no retry starts after it; every stage still running is stopped
    // (a child still running is ended) and joined, and no event reaches the window any more.
    // A package waiting in the work folder is deleted. Window's thread; never from a stage.
    void Stop();

    // Waits up to timeoutMs each for the package's and the old uninstaller's run to end (a
    // verdict comes before that); true when neither runs.
    bool WaitForChildRuns(DWORD timeoutMs) const;

    // The install folder + "\__Package_Vellumora.exe": where the package runs from.
    std::wstring BuildPackagePath() const;
    // Where the current attempt downloads the package: the package path, or with an old
    // version to remove, the same name in the fresh work folder.
    std::wstring DownloadPath() const { return m_downloadPath; }

private:
    void Forward(int code, double progress, const std::wstring& message);
    // Runs start under the pipeline's lock unless the pipeline was stopped, so a stop either
    // comes first (nothing starts) or finds the stage started (and stops it).
    void StartStage(const std::function<void()>& start);
    void CleanUpPackageFiles();
    // After the downloader's own MD5 check: the signer pin (when set) and the lock that keeps
    // the package as checked until it runs; a package that cannot be locked is not kept.
    enum class Acquired { Yes, SignatureRefused, Unlockable };
    Acquired AcquirePackage();
    void KeepPackageLock(Utils::UniqueFileHandle lock);
    Utils::UniqueFileHandle TakePackageLock();
    void StartRemoval();
    void OnRemovalEnded();
    // Moves a package waiting in the work folder into the install folder, locks it again
    // and starts it.
    void StartPackage();
    bool RemovesOldVersion() const { return m_downloadPath != m_packagePath; }

    StageCallback m_windowCallback;
    const Config::RunSettings m_settings;
    StartGate m_startGate;
    std::wstring m_downloadUrl;
    std::wstring m_oldUninstallerPath;
    std::wstring m_installDir;
    std::wstring m_packagePath;
    std::wstring m_downloadPath;
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
    // The paths and the lock, for a clean-up that may run while the next attempt starts.
    std::mutex m_filesMutex;

    Utils::UniqueFileHandle m_packageLock;
    std::unique_ptr<CDownloader> m_downloader;
    std::unique_ptr<CInstaller> m_installer;
    // Declared before the removal, so the folder's lock outlives the run inside it.
    Pipeline::FreshWorkFolder m_workFolder;
    std::unique_ptr<CUninstaller> m_uninstaller;
};
