#include "pipeline/DownloadInstaller.h"

#include <windows.h>
#include <shlwapi.h>

#include "config/MirrorUrls.h"
#include "download/Downloader.h"
#include "install/Installer.h"
#include "install/PackageSignature.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "pipeline/WorkTempDir.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"

namespace {

constexpr wchar_t kPackageName[] = L"__Package_Vellumora.exe";

// The package of the last finished or failed attempt, process-wide, so that the next
// attempt's clean-up deletes it too.
std::mutex g_previousPackageMutex;
std::wstring g_previousPackagePath;

std::wstring ParentFolder(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    lstrcpynW(buffer, path.c_str(), MAX_PATH + 1);
    ::PathRemoveFileSpecW(buffer);
    return buffer;
}

// Open for reading, shared for reading only: nobody can write, delete or rename the file
// while it is held, and the package can still be started from it.
Utils::UniqueFileHandle LockForReading(const std::wstring& path)
{
    return Utils::UniqueFileHandle(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

CDownloadInstaller::CDownloadInstaller(StageCallback windowCallback, Config::RunSettings settings)
    : m_windowCallback(std::move(windowCallback))
    , m_settings(std::move(settings))
{
}

CDownloadInstaller::~CDownloadInstaller()
{
    Stop();
}

void CDownloadInstaller::SetParams(const std::wstring& downloadUrl, const std::wstring& /*installedDir*/,
    const std::wstring& oldUninstallerPath, const std::wstring& installDir, bool dsc, bool ssc, bool adminact,
    bool authorizationact, const std::wstring& installLanguage)
{
    m_downloadUrl = downloadUrl;
    m_oldUninstallerPath = oldUninstallerPath;
    m_installDir = installDir;
    m_dsc = dsc;
    m_ssc = ssc;
    m_adminact = adminact;
    m_authorizationact = authorizationact;
    m_installLanguage = installLanguage;
}

void CDownloadInstaller::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_stageMutex);
        m_closed = true;
        m_stopping = true;
    }
    // Nothing starts any more; whatever had started before the flag was set is stopped here.
    if (m_downloader) {
        m_downloader->Stop();
    }
    if (m_uninstaller) {
        m_uninstaller->Stop();
    }
    if (m_installer) {
        m_installer->Stop();
    }
    if (RemovesOldVersion()) {
        // A package that never got to run; the next attempt downloads afresh anyway.
        TakePackageLock().reset();
        ::DeleteFileW(m_downloadPath.c_str());
    }
}

bool CDownloadInstaller::WaitForChildRuns(DWORD timeoutMs) const
{
    return (!m_uninstaller || m_uninstaller->WaitForRun(timeoutMs))
        && (!m_installer || m_installer->WaitForRun(timeoutMs));
}

std::wstring CDownloadInstaller::BuildPackagePath() const
{
    return m_installDir + L"\\" + kPackageName;
}

void CDownloadInstaller::Forward(int code, double progress, const std::wstring& message)
{
    if (!m_stopping && m_windowCallback) {
        m_windowCallback(code, progress, message);
    }
}

void CDownloadInstaller::StartStage(const std::function<void()>& start)
{
    std::lock_guard<std::mutex> lock(m_stageMutex);
    if (m_closed) {
        LOG(L"stopped; nothing more is started\r\n");
        return;
    }
    start();
}

void CDownloadInstaller::CleanUpPackageFiles()
{
    std::wstring package;
    std::wstring download;
    {
        // A package run that outlived its verdict ends here while the window may be
        // starting the next attempt.
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_packageLock.reset();
        package = m_packagePath;
        download = m_downloadPath;
    }
    ::DeleteFileW(package.c_str());
    if (download != package) {
        ::DeleteFileW(download.c_str());
    }
    std::lock_guard<std::mutex> lock(g_previousPackageMutex);
    if (!g_previousPackagePath.empty()) {
        ::DeleteFileW(g_previousPackagePath.c_str());
    }
    g_previousPackagePath = package;
}

CDownloadInstaller::Acquired CDownloadInstaller::AcquirePackage()
{
    if (m_signerPin.Checks()) {
        Signature::Result check = Signature::CheckFile(m_downloadPath, m_signerPin);
        LOG(L"package %s\r\n", check.Describe().c_str());
        if (!check.Accepted()) {
            return Acquired::SignatureRefused;
        }
        KeepPackageLock(std::move(check.lock));
    } else if (RemovesOldVersion()) {
        // It waits while the old version is removed: as downloaded, or not at all.
        Utils::UniqueFileHandle lock = LockForReading(m_downloadPath);
        if (!lock) {
            LOG(L"the package could not be locked, error %lu\r\n", ::GetLastError());
            return Acquired::Unlockable;
        }
        KeepPackageLock(std::move(lock));
    }
    return Acquired::Yes;
}

void CDownloadInstaller::KeepPackageLock(Utils::UniqueFileHandle lock)
{
    std::lock_guard<std::mutex> guard(m_filesMutex);
    m_packageLock = std::move(lock);
}

Utils::UniqueFileHandle CDownloadInstaller::TakePackageLock()
{
    std::lock_guard<std::mutex> guard(m_filesMutex);
    return std::move(m_packageLock);
}

void CDownloadInstaller::StartRemoval()
{
    const std::wstring copyPath = Pipeline::UninstallerCopyPath(m_workFolder.path);
    // A failed copy shows up as the removal's missing-file failure.
    if (!copyPath.empty()) {
        ::CopyFileW(m_oldUninstallerPath.c_str(), copyPath.c_str(), FALSE);
    }
    m_removalSucceeded = false;
    m_removalFailed = false;
    m_uninstaller = std::make_unique<CUninstaller>(m_onUninstall, copyPath, ParentFolder(m_oldUninstallerPath));
    m_uninstaller->SetSignerPin(m_signerPin);
    m_uninstaller->SetTimeLimit(m_settings.packageTimeLimitMs);
    m_uninstaller->SetBeforeRun(m_startGate);
    m_uninstaller->SetRunEnded([this] { OnRemovalEnded(); });
    m_uninstaller->Start();
}

void CDownloadInstaller::OnRemovalEnded()
{
    // A verdict line comes while the old uninstaller may still be removing files: the
    // package starts once it has ended, and only when no failure was reported.
    if (m_removalSucceeded && !m_removalFailed) {
        LOG(L"the old version is removed; the package goes into place\r\n");
        StartStage([this] { StartPackage(); });
        return;
    }
    LOG(L"the old version was not removed; the package is not run\r\n");
    CleanUpPackageFiles();
}

void CDownloadInstaller::StartPackage()
{
    Utils::UniqueFileHandle lock = TakePackageLock();
    if (RemovesOldVersion()) {
        // The old uninstaller may have taken the install folder with it.
        lock.reset();
        Utils::EnsureDirectoryPath(m_installDir);
        const bool moved = ::MoveFileExW(m_downloadPath.c_str(), m_packagePath.c_str(),
            MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH);
        if (!moved) {
            LOG(L"the package could not be moved to '%s', error %lu\r\n", m_packagePath.c_str(), ::GetLastError());
        } else if (m_signerPin.Checks()) {
            // Checked again where it runs, which also locks it there.
            Signature::Result check = Signature::CheckFile(m_packagePath, m_signerPin);
            LOG(L"package %s\r\n", check.Describe().c_str());
            lock = std::move(check.lock);
        } else {
            lock = LockForReading(m_packagePath);
        }
        if (!lock) {
            // Nothing is run that is not the package as it was checked.
            Forward(IST_CODE_FAIL, 2.0, L"");
            CleanUpPackageFiles();
            return;
        }
    }
    m_installer->SetPackageLock(std::move(lock));
    m_installer->Start();
}

void CDownloadInstaller::Start()
{
    // The earlier attempt's stages have reported their end; wait for their threads before
    // anything they use is changed. A package still running after its verdict is left to
    // end: the next package run waits for it, on its own thread.
    m_downloader.reset();
    m_uninstaller.reset();
    if (m_stopping) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_packageLock.reset();
        m_packagePath = BuildPackagePath();
        m_downloadPath = m_packagePath;
    }
    const int downloadType = m_settings.downloadType;
    LOG(L"DL_TYPE=%d\r\n", downloadType);
    const Config::ProxySetting& proxy = m_settings.proxy;
    LOG(L"proxy setting: %s\r\n", proxy.Describe().c_str());

    if (Utils::PathExists(m_oldUninstallerPath)) {
        // The package waits where the old uninstaller cannot touch it: a fresh folder only
        // administrators can write to, which the uninstaller's copy runs from later.
        m_workFolder = Pipeline::FreshWorkFolder {};
        m_workFolder = Pipeline::MakeFreshWorkFolder();
        if (m_workFolder.path.empty()) {
            // No place for the package nor for the uninstaller's copy: the removal cannot
            // happen, so nothing is downloaded.
            Forward(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
            LOG(L"UNIST_CODE_FAIL\r\n");
            return;
        }
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_downloadPath = m_workFolder.path + kPackageName;
        LOG(L"the package is acquired first, in '%s'\r\n", m_downloadPath.c_str());
    }

    auto onDownload = [this](int code, double progress, std::wstring message) {
        // After the downloader's own MD5 check: a package that fails its signature check
        // is a failed download for the pipeline and the window alike, and is deleted.
        if (code == Download::DL_CODE_SUCCESS) {
            switch (AcquirePackage()) {
            case Acquired::Yes:
                break;
            case Acquired::SignatureRefused:
                code = Download::DL_CODE_FAIL;
                progress = Download::kSignatureRefused;
                message = Download::kSignatureMessage;
                break;
            case Acquired::Unlockable:
                // Never removes the old version for a package that could still change.
                code = Download::DL_CODE_FAIL;
                progress = 0.0;
                message = L"";
                break;
            }
        }
        Forward(code, progress, message);
        switch (code) {
        case Download::DL_CODE_START:
            Utils::EnsureDirectoryPath(m_installDir);
            LOG(L"DL_CODE_START\r\n");
            break;
        case Download::DL_CODE_PROGRESS:
            LOG(L"DL_CODE_PROGRESS\r\n");
            break;
        case Download::DL_CODE_SUCCESS:
            LOG(L"DOWNLOAD_SUCCESS\r\n");
            if (RemovesOldVersion()) {
                StartStage([this] { StartRemoval(); });
            } else {
                StartStage([this] { StartPackage(); });
            }
            LOG(L"DL_CODE_SUCCESS\r\n");
            break;
        case Download::DL_CODE_FAIL:
            CleanUpPackageFiles();
            LOG(L"DL_CODE_FAIL\r\n");
            break;
        case Download::DL_CODE_RETRY:
            LOG(L"DL_CODE_RETRY\r\n");
            StartStage([this] { m_downloader->Start(); });
            break;
        default:
            break;
        }
    };
    m_downloader = CreateDownloader(
        downloadType, onDownload, Config::PackageUrls(m_downloadUrl, m_settings.mirrorUrls), m_downloadPath, proxy);

    auto onInstall = [this](int code, double progress, const std::wstring& message) {
        Forward(code, progress, message);
        switch (code) {
        case IST_CODE_START:
            LOG(L"IST_CODE_START\r\n");
            break;
        case IST_CODE_SUCCESS:
            LOG(L"INSTALL_SUCCESS\r\n");
            break;
        case IST_CODE_FAIL:
            LOG(L"IST_CODE_FAIL\r\n");
            break;
        default:
            break;
        }
    };
    if (!m_installer) {
        m_installer = std::make_unique<CInstaller>(
            onInstall, L"\"" + m_packagePath + L"\"", m_installDir, m_ssc, m_dsc, m_adminact);
        // A verdict arrives while the package still runs, and a running program's file
        // cannot be deleted: clean up once the run is over.
        m_installer->SetRunEnded([this] { CleanUpPackageFiles(); });
    }
    m_installer->SetPackagePath(L"\"" + m_packagePath + L"\"");
    m_installer->SetInstallDir(m_installDir);
    m_installer->SetFlags(m_dsc, m_ssc, m_adminact, m_authorizationact);
    m_installer->SetInstallLanguage(m_installLanguage);
    m_installer->SetExtraArguments(m_settings.packageArguments);
    m_installer->SetTimeLimit(m_settings.packageTimeLimitMs);
    m_installer->SetBeforeRun(m_startGate);

    m_onUninstall = [this](int code, double progress, const std::wstring& message) {
        Forward(code, progress, message);
        switch (code) {
        case UNIST_CODE_START:
            LOG(L"UNIST_CODE_START\r\n");
            break;
        case UNIST_CODE_PROGRESS:
            LOG(L"UNIST_CODE_PROGRESS\r\n");
            break;
        case UNIST_CODE_SUCCESS:
            LOG(L"UNIST_CODE_SUCCESS\r\n");
            m_removalSucceeded = true;
            break;
        case UNIST_CODE_FAIL:
            LOG(L"UNIST_CODE_FAIL\r\n");
            m_removalFailed = true;
            break;
        case UNIST_CODE_ERROR:
            LOG(L"UNIST_CODE_ERROR\r\n");
            m_removalFailed = true;
            break;
        default:
            break;
        }
    };

    StartStage([this] { m_downloader->Start(); });
}
