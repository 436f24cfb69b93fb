#include "pipeline/DownloadInstaller.h"

#include <windows.h>
#include <shlwapi.h>

#include "config/MirrorUrls.h"
#include "download/Downloader.h"
#include "download/UrlMd5.h"
#include "install/Installer.h"
#include "install/PackageSignature.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "pipeline/OfflineLayout.h"
#include "pipeline/PackageTestHook.h"
#include "pipeline/ProtectedCopy.h"
#include "pipeline/WorkTempDir.h"
#include "utils/FileCopy.h"
#include "utils/FileStamp.h"
#include "utils/FileSystem.h"
#include "utils/Md5.h"
#include "utils/Log.h"
#include "utils/ModuleVersion.h"

namespace {

constexpr wchar_t kPackageName[] = L"__Package_Vellumora.exe";

std::wstring ParentFolder(const std::wstring& path)
{
    wchar_t buffer[MAX_PATH + 1] = {};
    lstrcpynW(buffer, path.c_str(), MAX_PATH + 1);
    ::PathRemoveFileSpecW(buffer);
    return buffer;
}

// Open for reading, shared for reading only and without following a link: nobody can
// write, delete or rename the file while it is held, and the program can still be started
// from it (the loader only reads).
Utils::UniqueFileHandle HoldForReading(const std::wstring& path)
{
    return Utils::UniqueFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

} // namespace

CDownloadInstaller::CDownloadInstaller(StageEventSink sink, Config::RunSettings settings)
    : m_sink(std::move(sink))
    , m_settings(std::move(settings))
    , m_onUninstall(
          [this](int code, double progress, const std::wstring& message) { OnRemovalEvent(code, progress, message); })
{
}

CDownloadInstaller::~CDownloadInstaller()
{
    Stop();
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
        m_installer->Stop(); // its run's end removes the folder it ran from
    }
    // A package that never got to run, the uninstaller's copy, the folder: all go.
    CleanUpPackageFiles();
}

bool CDownloadInstaller::WaitForChildRuns(DWORD timeoutMs) const
{
    return (!m_uninstaller || m_uninstaller->WaitForRun(timeoutMs))
        && (!m_installer || m_installer->WaitForRun(timeoutMs));
}

void CDownloadInstaller::Forward(const StageEvent& event)
{
    if (!m_stopping && m_sink) {
        m_sink(event);
    }
}

void CDownloadInstaller::Forward(int code, double progress, const std::wstring& message)
{
    StageEvent event { code, progress, message };
    if (code == UNIST_CODE_FAIL && progress == kFailSignatureRefused) {
        event.cause = StageCause::SignatureRefused;
    } else if (code == IST_CODE_EXIT_STATUS) {
        // The stage carries the status as its progress value; it goes on typed.
        if (progress >= 0.0 && progress <= 4294967295.0) {
            event.exitStatus = static_cast<DWORD>(progress);
        }
        event.progress = 0.0;
    }
    Forward(event);
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
    std::shared_ptr<Pipeline::WorkFolder> folder;
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_packageLock.reset();
        m_uninstallerCopyLock.reset();
        folder = std::move(m_workFolder);
    }
    // Removed here unless a package run still uses it; then its end removes it.
    folder.reset();
}

void CDownloadInstaller::OnPackageRunEnded()
{
    std::shared_ptr<Pipeline::WorkFolder> folder;
    const bool keep = m_runAsksRestart && m_runSucceeded;
    {
        // A package run that outlived its verdict ends here while the window may be
        // starting the next attempt, which has a folder of its own.
        std::lock_guard<std::mutex> lock(m_filesMutex);
        folder = std::move(m_runningFolder);
        if (m_workFolder == folder) {
            m_packageLock.reset();
            m_uninstallerCopyLock.reset();
            m_workFolder.reset();
        }
    }
    if (keep && folder && folder->Valid()) {
        const std::wstring path = folder->Path();
        // What the package staged there is moved into place at the restart; then it all goes.
        folder->RemoveEntry(kPackageName);
        folder->RemoveEntry(Pipeline::UninstallerCopyName());
        if (folder->KeepUntilRestart()) {
            LOG(L"the package asked for a restart: its TEMP folder '%s' is kept, protected, and removed at the "
                L"next restart\r\n",
                path.c_str());
        } else {
            LOG(L"the package asked for a restart: its TEMP folder '%s' is kept; it could not be marked in full for "
                L"removal at the next restart (error %lu)\r\n",
                path.c_str(), ::GetLastError());
        }
    }
    folder.reset();
}

std::optional<std::wstring> CDownloadInstaller::RefuseBelowVersionFloor() const
{
    if (m_plan.versionFloor.empty()) {
        LOG(L"no version floor: no installed version is recorded, or downgrades are allowed\r\n");
        return std::nullopt;
    }
    const auto floor = Utils::ParseVersion(m_plan.versionFloor);
    if (!floor) {
        LOG(L"the recorded version '%s' is not a version; the package is allowed\r\n", m_plan.versionFloor.c_str());
        return std::nullopt;
    }
    // Read from the file as held: nobody can change it before it runs.
    const std::wstring version = Utils::FileVersionOf(m_downloadPath);
    const auto parts = Utils::ParseVersion(version);
    if (!parts) {
        LOG(L"the package carries no version resource; it is allowed over the installed version %s\r\n",
            m_plan.versionFloor.c_str());
        return std::nullopt;
    }
    if (Utils::CompareVersions(*parts, *floor) < 0) {
        LOG(L"the package's version %s is older than the installed version %s: refused (-allowdowngrade=true "
            L"allows it)\r\n",
            version.c_str(), m_plan.versionFloor.c_str());
        return L"安装包版本 " + version + L" 低于已安装的版本 " + m_plan.versionFloor;
    }
    LOG(L"the package's version %s is not older than the installed version %s\r\n", version.c_str(),
        m_plan.versionFloor.c_str());
    return std::nullopt;
}

CDownloadInstaller::Acquired CDownloadInstaller::AcquirePackage(const std::string& checkedDigest)
{
    std::shared_ptr<Pipeline::WorkFolder> folder;
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        folder = m_workFolder;
    }
    // The downloader sealed the package's stamp through its writer's handle just before it
    // closed it, then renamed the file (which keeps its identity and last-write time).
    const Utils::FileStamp written = m_downloader ? m_downloader->WrittenStamp() : Utils::FileStamp {};
    Pipeline::AfterPackageDownloaded(m_downloadPath);
    // The writer held the part file without write or delete sharing; the hold is taken at
    // once after its close, and nobody else can write, rename or create in the folder
    // meanwhile (its descriptor gives that to the system and administrators only, its name
    // cannot be guessed, and it is held without delete sharing).
    Utils::UniqueFileHandle hold = HoldForReading(m_downloadPath);
    if (!hold) {
        LOG(L"the package could not be held in the work folder, error %lu\r\n", ::GetLastError());
        return Acquired::Unheld;
    }
    if (!folder || !folder->Holds(hold.get())) {
        LOG(L"the package is not where it was downloaded (its path leads out of the work folder)\r\n");
        return Acquired::Unheld;
    }
    if (checkedDigest.size() == Download::kMd5Length) {
        // The gap is closed without a second read when the file as held is the very file its
        // writer left (same volume and file id, length and sealed last-write time): a write in
        // between would have stamped a later time (the seal is one tick before the system time
        // at the close), a replacement has another id, a cut another length. Putting the time
        // back takes the right to set it, which only the system and administrators have here,
        // and they can change the package at any time anyway. Without access lists (FAT,
        // exFAT) the folder keeps nobody out, so there, and whenever a stamp is missing or
        // differs, the file is read again through the hold.
        const Utils::FileStamp held = Utils::ReadFileStamp(hold.get());
        if (written.Matches(held) && Utils::KeepsAccessLists(hold.get())) {
            LOG(L"package held as its writer left it (stamp matched); its MD5 stands\r\n");
        } else {
            const std::string heldMd5 = Utils::FileContentMd5(hold.get());
            if (heldMd5 != checkedDigest) {
                LOG(L"the package changed after its download (MD5 %S as held, %S downloaded); it is not run\r\n",
                    heldMd5.c_str(), checkedDigest.c_str());
                return Acquired::Changed;
            }
            LOG(L"package MD5 checked again as held (%s)\r\n",
                !written.valid              ? L"no stamp from its writer"
                    : written.Matches(held) ? L"its volume keeps no access lists"
                                            : L"its stamp differs from its writer's");
        }
    }
    if (m_signerPin.Checks()) {
        // The check opens the file for reading beside the hold, which it cannot change.
        const Signature::Result check = Signature::CheckFile(m_downloadPath, m_signerPin);
        LOG(L"package %s\r\n", check.Describe().c_str());
        if (!check.Accepted()) {
            return Acquired::SignatureRefused;
        }
    }
    KeepPackageLock(std::move(hold));
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
    std::wstring copyPath;
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        copyPath = m_workFolder ? Pipeline::UninstallerCopyPath(*m_workFolder) : std::wstring();
        m_uninstallerCopyLock.reset();
        // A machine-wide installation's folder may have been open to users (one made at a drive's root
        // inherits "Authenticated Users: Modify"), and its uninstaller runs as an
        // administrator or the system: without a pin to vouch for it, only a copy taken from a
        // folder administrators alone may change is run.
        bool copied = false;
        if (!copyPath.empty() && m_plan.oldUninstallerMachineWide && !m_signerPin.Checks()) {
            const std::wstring refusal = Pipeline::CopyFromProtectedFolder(m_plan.oldUninstaller, copyPath);
            if (!refusal.empty()) {
                LOG(L"the old uninstaller '%s' is not run: %s, and no signer is pinned\r\n",
                    m_plan.oldUninstaller.c_str(), refusal.c_str());
            }
            copied = refusal.empty();
        } else if (!copyPath.empty()) {
            copied = ::CopyFileW(m_plan.oldUninstaller.c_str(), copyPath.c_str(), TRUE) != FALSE;
        }
        // Held like the package: it runs as it was copied, from inside the work folder.
        if (copied) {
            Utils::UniqueFileHandle hold = HoldForReading(copyPath);
            if (hold && m_workFolder->Holds(hold.get())) {
                m_uninstallerCopyLock = std::move(hold);
            }
        }
    }
    if (!m_uninstallerCopyLock) {
        LOG(L"the old uninstaller could not be copied into the work folder and held, error %lu\r\n", ::GetLastError());
        // As for a missing uninstaller: the old version stays, the package is not run.
        Forward(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        LOG(L"UNIST_CODE_FAIL\r\n");
        CleanUpPackageFiles();
        return;
    }
    m_removalSucceeded = false;
    m_removalFailed = false;
    m_uninstaller = std::make_unique<CUninstaller>(m_onUninstall, copyPath, ParentFolder(m_plan.oldUninstaller));
    m_uninstaller->SetSignerPin(m_signerPin);
    m_uninstaller->SetTimeLimit(m_settings.packageTimeLimitMs);
    m_uninstaller->SetBeforeRun(m_startGate);
    m_uninstaller->SetRunEnded([this] { OnRemovalEnded(); });
    m_uninstaller->Start();
}

void CDownloadInstaller::OnRemovalEvent(int code, double progress, const std::wstring& message)
{
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
}

void CDownloadInstaller::OnRemovalEnded()
{
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_uninstallerCopyLock.reset();
    }
    if (m_removalOnly) {
        // Decided at the end, as for an update: a failure after the success line, or the
        // time limit, still fails it.
        if (m_removalSucceeded && !m_removalFailed) {
            LOG(L"the installation is removed\r\n");
            Forward(UNIST_CODE_REMOVED, 1.0, L"");
            LOG(L"UNIST_CODE_REMOVED\r\n");
        } else {
            LOG(L"the installation was not removed\r\n");
        }
        CleanUpPackageFiles();
        return;
    }
    // A verdict line comes while the old uninstaller may still be removing files: the
    // package starts once it has ended, and only when no failure was reported.
    if (m_removalSucceeded && !m_removalFailed) {
        LOG(L"the old version is removed; the package starts\r\n");
        StartStage([this] { StartPackage(); });
        return;
    }
    LOG(L"the old version was not removed; the package is not run\r\n");
    CleanUpPackageFiles();
}

void CDownloadInstaller::StartPackage()
{
    // The run before (an earlier attempt's package that outlived its verdict) has ended and
    // its folder is gone before this one's run is recorded.
    m_installer->WaitForRun(INFINITE);
    m_runVerdictSeen = false;
    m_runAsksRestart = false;
    m_runSucceeded = false;
    Utils::UniqueFileHandle lock = TakePackageLock();
    {
        std::lock_guard<std::mutex> guard(m_filesMutex);
        m_runningFolder = m_workFolder;
    }
    if (!lock) {
        // Nothing is run that is not the package as it was checked.
        LOG(L"the package is no longer held; it is not run\r\n");
        Forward(IST_CODE_FAIL, 2.0, L"");
        OnPackageRunEnded();
        return;
    }
    // The plan's folder is made here, once: after the old uninstaller, which may have taken
    // it with it, and before the package, which is told it and may expect it.
    if (!Pipeline::MakeInstallFolder(m_plan.folder, m_plan.recordScope)) {
        LOG(L"the install folder '%s' could not be made, error %lu; the package is told it all the same\r\n",
            m_plan.folder.c_str(), ::GetLastError());
    }
    m_installer->SetPackageLock(std::move(lock));
    m_installer->Start();
}

void CDownloadInstaller::Start()
{
    if (m_plan.removalOnly) {
        StartRemovalOnly();
        return;
    }
    // The earlier attempt's stages have reported their end; wait for their threads before
    // anything they use is changed. A package still running after its verdict is left to
    // end: the next package run waits for it, on its own thread, and its folder goes then.
    m_downloader.reset();
    m_uninstaller.reset();
    if (m_stopping) {
        return;
    }
    CleanUpPackageFiles();
    m_removalOnly = false;
    const int downloadType = m_settings.downloadType;
    LOG(L"DL_TYPE=%d\r\n", downloadType);
    const Config::ProxySetting& proxy = m_settings.proxy;
    LOG(L"proxy setting: %s\r\n", proxy.Describe().c_str());
    // The session decided whether the old version goes; only a file gone since is left alone.
    m_removesOldVersion = !m_plan.oldUninstaller.empty() && Utils::PathExists(m_plan.oldUninstaller);

    // The package, and the old uninstaller's copy, live only in a folder of this attempt's
    // own that no standard user can write to.
    auto folder = std::make_shared<Pipeline::WorkFolder>(Pipeline::WorkFolder::Create(Pipeline::WorkFolderParent()));
    if (!folder->Valid()) {
        {
            std::lock_guard<std::mutex> lock(m_filesMutex);
            m_downloadPath.clear();
        }
        LOG(L"no work folder for the package: the download fails\r\n");
        Forward(Download::DL_CODE_FAIL, 0.0, L"");
        LOG(L"DL_CODE_FAIL\r\n");
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_downloadPath = folder->Path() + kPackageName;
        m_workFolder = std::move(folder);
    }
    LOG(L"the package is acquired first, in '%s'\r\n", m_downloadPath.c_str());

    auto onDownload = [this](int code, double progress, const std::wstring& message) {
        StageEvent event { code, progress, message };
        // After the downloader's own MD5 check: a package that cannot be held, changed or
        // fails its signature check is a failed download for the pipeline and the window
        // alike, and is deleted.
        if (code == Download::DL_CODE_SUCCESS) {
            switch (AcquirePackage(m_downloader->CheckedDigest())) {
            case Acquired::Yes:
                // A separate step: the package as held, before anything is removed.
                if (auto refusal = RefuseBelowVersionFloor()) {
                    event = { Download::DL_CODE_FAIL, 0.0, *refusal, StageCause::DowngradeRefused };
                }
                break;
            case Acquired::SignatureRefused:
                event = { Download::DL_CODE_FAIL, 0.0, Download::kSignatureMessage, StageCause::SignatureRefused };
                break;
            case Acquired::Unheld:
            case Acquired::Changed:
                // Never removes the old version for a package that could still change.
                event = { Download::DL_CODE_FAIL, 0.0, L"" };
                break;
            }
        }
        Forward(event);
        switch (event.code) {
        case Download::DL_CODE_START:
            LOG(L"DL_CODE_START\r\n");
            break;
        case Download::DL_CODE_PROGRESS:
            LOG(L"DL_CODE_PROGRESS\r\n");
            break;
        case Download::DL_CODE_SUCCESS:
            LOG(L"DOWNLOAD_SUCCESS\r\n");
            if (!m_plan.layoutFolder.empty()) {
                WriteOfflineLayout();
            } else if (RemovesOldVersion()) {
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
    // Without an MD5 in its address only a pinned signer, or the settings' trust, vouches for it.
    Download::PackageRules rules;
    rules.acceptWithoutDigest = m_settings.signerPin.Checks() || m_settings.allowUnverifiedPackage;
    rules.maxBytes = m_settings.maxPackageBytes;
    rules.maxBytesPerSecond = m_settings.limitRateBytes;
    rules.requiredDigest = Config::MirrorDigest(m_plan.downloadUrl, m_plan.mirrorUrls);
    m_downloader = CreateDownloader(downloadType, onDownload,
        Config::PackageUrls(m_plan.downloadUrl, m_plan.mirrorUrls), m_downloadPath, proxy, rules);

    auto onInstall = [this](int code, double progress, const std::wstring& message) {
        Forward(code, progress, message);
        // As the session reads them: a restart asked before the first verdict, and that
        // verdict a success.
        const bool first = !m_runVerdictSeen;
        switch (code) {
        case IST_CODE_START:
            LOG(L"IST_CODE_START\r\n");
            break;
        case IST_CODE_SUCCESS:
            LOG(L"INSTALL_SUCCESS\r\n");
            m_runVerdictSeen = true;
            m_runSucceeded = m_runSucceeded || first;
            break;
        case IST_CODE_FAIL:
            LOG(L"IST_CODE_FAIL\r\n");
            m_runVerdictSeen = true;
            break;
        case IST_CODE_RESTART_REQUIRED:
            m_runAsksRestart = m_runAsksRestart || first;
            break;
        default:
            break;
        }
    };
    // A layout runs no package.
    if (m_plan.layoutFolder.empty()) {
        if (!m_installer) {
            m_installer = std::make_unique<CInstaller>(onInstall, m_downloadPath, m_plan.folder, m_plan.package);
            // A verdict arrives while the package still runs, and a running program's file
            // cannot be deleted: clean up once the run is over.
            m_installer->SetRunEnded([this] { OnPackageRunEnded(); });
        } else {
            m_installer->SetPackage(m_downloadPath, m_plan.folder, m_plan.package);
        }
        m_installer->SetTimeLimit(m_settings.packageTimeLimitMs);
        m_installer->SetBeforeRun(m_startGate);
    }

    StartStage([this] { m_downloader->Start(); });
}

void CDownloadInstaller::WriteOfflineLayout()
{
    // On the download's thread, which a stop joins: the copies read the stop between pieces.
    Utils::UniqueFileHandle hold = TakePackageLock();
    std::wstring packagePath;
    const std::wstring problem = !hold ? std::wstring(L"the package is no longer held")
        : m_stopping                   ? std::wstring(L"stopped")
                                       : Pipeline::WriteLayout(m_plan.layoutFolder,
                                           { hold.get(), m_downloader->CheckedDigest(), m_downloader->DeliveredName() },
                                           m_plan.layoutSigners, m_stopping, packagePath);
    hold.reset();
    if (problem.empty()) {
        LOG(L"layout written into '%s': the package as '%s', beside it the installer and its settings file\r\n",
            m_plan.layoutFolder.c_str(), packagePath.c_str());
        Forward(LAYOUT_CODE_WRITTEN, 1.0, packagePath);
    } else {
        LOG(L"the layout could not be written into '%s': %s\r\n", m_plan.layoutFolder.c_str(), problem.c_str());
        Forward(LAYOUT_CODE_FAIL, 0.0, m_plan.layoutFolder);
    }
    CleanUpPackageFiles();
}

void CDownloadInstaller::StartRemovalOnly()
{
    m_uninstaller.reset();
    if (m_stopping) {
        return;
    }
    CleanUpPackageFiles();
    m_removalOnly = true;
    auto folder = std::make_shared<Pipeline::WorkFolder>(Pipeline::WorkFolder::Create(Pipeline::WorkFolderParent()));
    if (folder->Valid()) {
        std::lock_guard<std::mutex> lock(m_filesMutex);
        m_workFolder = std::move(folder);
    } else {
        LOG(L"no work folder for the uninstaller's copy: the removal fails\r\n"); // as a copy that fails
    }
    LOG(L"removal only: the installed uninstaller runs from a copy in the work folder\r\n");
    StartStage([this] { StartRemoval(); });
}
