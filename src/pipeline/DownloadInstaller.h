#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "config/SignerPin.h"
#include "install/StageCallback.h"
#include "pipeline/WorkTempDir.h"

class CDownloader;
class CInstaller;
class CUninstaller;

// Chains removal of an older version, download and the package run into one pipeline.
// Every stage event goes to the window's callback first, unchanged; then the pipeline does
// its own work for it (start the next stage, clean up files). Destroying the pipeline
// stops every stage and waits for it; no event reaches the window after that.
class CDownloadInstaller {
public:
    explicit CDownloadInstaller(StageCallback windowCallback);
    ~CDownloadInstaller();
    CDownloadInstaller(const CDownloadInstaller&) = delete;
    CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

    // installedDir is accepted for the window's sake and not used here.
    void SetParams(const std::wstring& downloadUrl, const std::wstring& installedDir,
        const std::wstring& oldUninstallerPath, const std::wstring& installDir, bool dsc, bool ssc, bool adminact,
        bool authorizationact, const std::wstring& installLanguage);

    // Starts the removal (when an old uninstaller exists) or the download, and returns.
    void Start();

    // Waits up to timeoutMs each for the package's and the old uninstaller's run to end (a
    // verdict comes before that); true when neither runs.
    bool WaitForChildRuns(DWORD timeoutMs) const;

    // The install folder + "\__Package_Vellumora.exe".
    std::wstring BuildPackagePath() const;

private:
    void Forward(int code, double progress, const std::wstring& message);
    void StartStage(const std::function<void()>& start);
    void CleanUpPackageFiles();
    // With a pin: checks the downloaded package and hands its lock to the installer; false
    // when it is refused.
    bool PackageSignatureAccepted();

    StageCallback m_windowCallback;
    std::wstring m_downloadUrl;
    std::wstring m_oldUninstallerPath;
    std::wstring m_installDir;
    std::wstring m_packagePath;
    std::wstring m_installLanguage;
    bool m_dsc = true;
    bool m_ssc = true;
    bool m_adminact = true;
    bool m_authorizationact = true;
    Config::SignerPin m_signerPin;
    std::atomic<bool> m_stopping { false };
    std::unique_ptr<CDownloader> m_downloader;
    std::unique_ptr<CInstaller> m_installer;
    // Declared before the removal, so the folder's lock outlives the run inside it.
    Pipeline::FreshWorkFolder m_workFolder;
    std::unique_ptr<CUninstaller> m_uninstaller;
};
