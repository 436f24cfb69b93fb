#include "pipeline/DownloadInstaller.h"

#include <windows.h>
#include <shlwapi.h>

#include <mutex>

#include "config/InstallerConfig.h"
#include "download/Downloader.h"
#include "install/Installer.h"
#include "install/PackageSignature.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "pipeline/WorkTempDir.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"
#include "utils/Processes.h"

namespace {

// The package of the last finished or failed attempt, process-wide, so that the next
// attempt's clean-up deletes it too.
std::mutex g_previousPackageMutex;
std::wstring g_previousPackagePath;

// "-insnew": an updater started us while the product may still be open. Waits on the
// removal's own thread, so the window keeps answering; a stop request ends the wait.
bool WaitUntilProductExits(HANDLE stopEvent)
{
    while (Utils::FindProcessIdByName(L"Quorvel.exe") != 0) {
        if (::WaitForSingleObject(stopEvent, 100) == WAIT_OBJECT_0) {
            return false;
        }
    }
    return true;
}

std::wstring ParentFolder(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    lstrcpynW(buffer, path.c_str(), MAX_PATH + 1);
    ::PathRemoveFileSpecW(buffer);
    return buffer;
}

} // namespace

CDownloadInstaller::CDownloadInstaller(StageCallback windowCallback)
    : m_windowCallback(std::move(windowCallback))
{
}

CDownloadInstaller::~CDownloadInstaller()
{
    m_stopping = true;
    // In the order the stages start each other, so a stage started by a handler that was
    // still running is stopped in turn.
    if (m_uninstaller) {
        m_uninstaller->Stop();
    }
    if (m_downloader) {
        m_downloader->Stop();
    }
    if (m_installer) {
        m_installer->Stop();
    }
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

bool CDownloadInstaller::WaitForChildRuns(DWORD timeoutMs) const
{
    return (!m_uninstaller || m_uninstaller->WaitForRun(timeoutMs))
        && (!m_installer || m_installer->WaitForRun(timeoutMs));
}

std::wstring CDownloadInstaller::BuildPackagePath() const
{
    return m_installDir + L"\\__Package_Vellumora.exe";
}

void CDownloadInstaller::Forward(int code, double progress, const std::wstring& message)
{
    if (!m_stopping && m_windowCallback) {
        m_windowCallback(code, progress, message);
    }
}

void CDownloadInstaller::StartStage(const std::function<void()>& start)
{
    // A pipeline being destroyed finishes the work of the events in flight (clean-up, log)
    // but starts nothing new.
    if (!m_stopping) {
        start();
    }
}

void CDownloadInstaller::CleanUpPackageFiles()
{
    ::DeleteFileW(m_packagePath.c_str());
    std::lock_guard<std::mutex> lock(g_previousPackageMutex);
    if (!g_previousPackagePath.empty()) {
        ::DeleteFileW(g_previousPackagePath.c_str());
    }
    g_previousPackagePath = m_packagePath;
}

bool CDownloadInstaller::PackageSignatureAccepted()
{
    Signature::Result check = Signature::CheckFile(m_packagePath, m_signerPin);
    LOG(L"package %s\r\n", check.Describe().c_str());
    if (!check.Accepted()) {
        return false;
    }
    m_installer->SetPackageLock(std::move(check.lock));
    return true;
}

void CDownloadInstaller::Start()
{
    m_packagePath = BuildPackagePath();
    // Read on every start, so the setting in force is the one checked against.
    m_signerPin = Config::ParseSignerPin(TheInstallerConfig().PackageSigner);
    const int downloadType = TheInstallerConfig().DownloadType;
    LOG(L"DL_TYPE=%d\r\n", downloadType);
    const Config::ProxySetting proxy = Config::ParseProxySetting(TheInstallerConfig().Proxy);
    LOG(L"proxy setting: %s\r\n", proxy.Describe().c_str());

    if (!m_downloader) {
        auto onDownload = [this](int code, double progress, std::wstring message) {
            // After the downloader's own MD5 check: a package that fails its signature check
            // is a failed download for the pipeline and the window alike, and is deleted.
            if (code == Download::DL_CODE_SUCCESS && m_signerPin.Checks() && !PackageSignatureAccepted()) {
                code = Download::DL_CODE_FAIL;
                progress = Download::kSignatureRefused;
                message = Download::kSignatureMessage;
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
                StartStage([this] { m_installer->Start(); });
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
        m_downloader = CreateDownloader(downloadType, onDownload, m_downloadUrl, m_packagePath, proxy);
    }

    if (!m_installer) {
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
        m_installer = std::make_unique<CInstaller>(
            onInstall, L"\"" + m_packagePath + L"\"", m_installDir, m_ssc, m_dsc, m_adminact);
        // A verdict arrives while the package still runs, and a running program's file
        // cannot be deleted: clean up once the run is over.
        m_installer->SetRunEnded([this] { CleanUpPackageFiles(); });
    }
    m_installer->SetInstallDir(m_installDir);
    m_installer->SetFlags(m_dsc, m_ssc, m_adminact, m_authorizationact);
    m_installer->SetInstallLanguage(m_installLanguage);

    if (!Utils::PathExists(m_oldUninstallerPath)) {
        m_downloader->Start();
        return;
    }

    // The previous removal, if any, is waited for and released before a new one is made.
    m_uninstaller.reset();
    m_workFolder = Pipeline::FreshWorkFolder {};
    m_workFolder = Pipeline::MakeFreshWorkFolder();
    const std::wstring copyPath = Pipeline::UninstallerCopyPath(m_workFolder.path);
    const std::wstring installedDir = ParentFolder(m_oldUninstallerPath);
    // A failed copy shows up as the removal's missing-file failure.
    if (!copyPath.empty()) {
        ::CopyFileW(m_oldUninstallerPath.c_str(), copyPath.c_str(), FALSE);
    }

    auto onUninstall = [this](int code, double progress, const std::wstring& message) {
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
            StartStage([this] { m_downloader->Start(); });
            break;
        case UNIST_CODE_FAIL:
            LOG(L"UNIST_CODE_FAIL\r\n");
            break;
        case UNIST_CODE_ERROR:
            LOG(L"UNIST_CODE_ERROR\r\n");
            break;
        default:
            break;
        }
    };
    m_uninstaller = std::make_unique<CUninstaller>(onUninstall, copyPath, installedDir);
    m_uninstaller->SetSignerPin(m_signerPin);
    if (TheInstallerConfig().InsNew) {
        m_uninstaller->SetBeforeRun(WaitUntilProductExits);
    }
    m_uninstaller->Start();
}
