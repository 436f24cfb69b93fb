#include "session/InstallSession.h"

#include <cmath>

#include "config/FolderOption.h"
#include "config/InstallerConfig.h"
#include "config/Language.h"
#include "config/ProxySetting.h"
#include "config/SignerPin.h"
#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "session/InstallFolders.h"
#include "utils/FileSystem.h"
#include "utils/HardDiskManager.h"
#include "utils/Log.h"
#include "utils/Processes.h"

namespace Session {

namespace {

// A running program of this name refuses the install, unless "-insnew" says we were started
// to update it.
bool Blocks(const wchar_t* program)
{
    return Utils::FindProcessIdByName(program) != 0 && !TheInstallerConfig().InsNew;
}

} // namespace

InstallSession::InstallSession(InstallFace& face, StageCallback post)
    : m_face(face)
    , m_existing(ReadExistingInstallation())
    , m_progress(TheInstallerConfig().DownloadScale)
    , m_pipeline(std::make_unique<CDownloadInstaller>(std::move(post)))
{
    m_reports.startUrl = Config::RedirectEndpoint() + L"/redirect/ver1/quorvel/help/1.0/installer/123456";
}

InstallSession::~InstallSession()
{
    Stop();
}

std::wstring InstallSession::DefaultFolder(bool unattended)
{
    const DefaultFolderInputs inputs
        = CurrentDefaultFolderInputs(m_existing.folder, m_existing.uninstaller, unattended);
    m_consoleUserIsAdmin = inputs.consoleUserIsAdmin;
    m_processIsAdmin = inputs.processIsAdmin;
    return DefaultInstallFolder(inputs);
}

std::wstring InstallSession::OneClickFolder()
{
    const std::wstring defaultFolder = DefaultFolder(true);
    if (const auto& option = TheInstallerConfig().InstallDir) {
        return *option;
    }
    // With an installation present, the window's way in is its prompt, whose "install over
    // it" goes to that installation's folder.
    return m_existing.present ? m_existing.folder : defaultFolder;
}

std::wstring InstallSession::OneClickLanguage(bool layoutOffersLanguages) const
{
    if (!layoutOffersLanguages) {
        return {};
    }
    int index = Utils::InitialLanguageIndex(TheInstallerConfig().LanguageIndex, ::GetUserDefaultUILanguage());
    if (m_existing.present) {
        index = Utils::RecordedLanguageIndex(m_existing.folder, index);
    }
    return Utils::InstallLanguageCode(index);
}

std::optional<Outcome> InstallSession::CheckSettings() const
{
    const InstallerConfig& config = TheInstallerConfig();
    if (config.InstallDir) {
        const std::wstring problem = Config::FolderOptionProblem(*config.InstallDir);
        if (!problem.empty()) {
            LOG(L"-installdir='%s' refused, %s\r\n", config.InstallDir->c_str(), problem.c_str());
            return Outcome { Verdict::InvalidValue, *config.InstallDir };
        }
    }
    if (const Config::ProxySetting proxy = Config::ParseProxySetting(config.Proxy); !proxy.valid) {
        LOG(L"-proxy refused, %s\r\n", proxy.problem.c_str());
        return Outcome { Verdict::InvalidValue, L"-proxy" };
    }
    if (Config::ParseSignerPin(config.PackageSigner).state == Config::SignerPin::State::Unreadable) {
        LOG(L"PackageSigner refused, the value is malformed\r\n");
        return Outcome { Verdict::InvalidValue, L"PackageSigner" };
    }
    return std::nullopt;
}

std::optional<Outcome> InstallSession::RefuseWhileProductRuns() const
{
    if (Blocks(L"Quorvel.exe")) {
        LOG(L"the product is running\r\n");
        return Outcome { Verdict::ProductRunning };
    }
    return std::nullopt;
}

std::optional<Outcome> InstallSession::Prepare(const InstallRequest& request)
{
    // A failed package may still be rolling back: a new attempt would wait for it and could
    // lose its files to the old run's clean-up. Refused like a running old uninstaller.
    if (!ChildRunsEnded()) {
        LOG(L"the previous attempt's package or old uninstaller still runs\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    if (Blocks(L"TarvikQuill_un_asa.exe")) {
        LOG(L"an old version's uninstaller is running\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    if (auto refusal = RefuseWhileProductRuns()) {
        return refusal;
    }
    if (!IsUsableInstallFolder(request.folder)) {
        LOG(L"invalid install folder '%s'\r\n", request.folder.c_str());
        return Outcome { Verdict::InvalidFolder, request.folder };
    }
    if (Utils::FreeGigabytesForFolder(request.folder) < 1.0) {
        LOG(L"less than 1 GB free for '%s'\r\n", request.folder.c_str());
        return Outcome { Verdict::LowDiskSpace, request.folder };
    }
    m_folder = request.folder;
    // An install into the existing folder keeps the old version when its set.ini says so;
    // every other install removes it.
    const std::wstring oldUninstaller
        = KeepsExistingVersion(m_existing.folder, request.folder) ? std::wstring() : m_existing.uninstaller;
    m_removes = Utils::PathExists(oldUninstaller);
    LOG(L"install into '%s', old uninstaller '%s'\r\n", request.folder.c_str(), oldUninstaller.c_str());
    m_pipeline->SetParams(TheInstallerConfig().DownloadUrl, m_existing.folder, oldUninstaller, request.folder,
        request.desktopShortcut, request.quickLaunch, m_consoleUserIsAdmin, m_processIsAdmin, request.language);
    m_state = State::Prepared;
    return std::nullopt;
}

void InstallSession::Start()
{
    if (m_state != State::Prepared) {
        LOG(L"no install prepared, or one is running\r\n");
        return;
    }
    m_state = State::Acquiring;
    m_progress.Begin(m_removes);
    m_pipeline->Start();
}

void InstallSession::Stop()
{
    if (m_pipeline) {
        m_pipeline->Stop();
    }
}

bool InstallSession::ChildRunsEnded() const
{
    return !m_pipeline || m_pipeline->WaitForChildRuns(0);
}

bool InstallSession::Running() const noexcept
{
    return m_state == State::Acquiring || m_state == State::Removing || m_state == State::Installing;
}

std::wstring InstallSession::ProductExe() const
{
    return m_reports.exePath.empty() ? m_folder + L"\\Quorvel.exe" : m_reports.exePath;
}

void InstallSession::Conclude(Outcome outcome)
{
    if (m_state == State::Concluded) {
        return; // the first verdict stands
    }
    m_state = State::Concluded;
    if (outcome.verdict == Verdict::Installed) {
        RecordInstallation(m_folder, m_reports.uninstaller);
        WriteStateFiles(m_folder, InstallerFileName());
    }
    LOG(L"verdict: %s%s%s\r\n", RowOf(outcome.verdict).name, outcome.message.empty() ? L"" : L", ",
        outcome.message.c_str());
    m_face.Concluded(outcome);
}

void InstallSession::OnStageReport(int code, double progress, const std::wstring& message)
{
    switch (code) {
    case Download::DL_CODE_START:
        m_face.DownloadStarted();
        break;
    case Download::DL_CODE_PROGRESS:
        m_face.ShowProgress(m_progress.DownloadPercent(progress));
        break;
    case Download::DL_CODE_SUCCESS:
        if (m_removes && m_state == State::Acquiring) {
            m_state = State::Removing;
        }
        break;
    case Download::DL_CODE_FAIL:
        if (static_cast<int>(progress) == Download::kSignatureRefused) {
            Conclude({ Verdict::SignatureRefused, message });
        } else {
            Conclude({ Verdict::DownloadFailed, message });
        }
        break;
    case UNIST_CODE_PROGRESS:
        m_face.ShowProgress(m_progress.RemovalPercent(progress));
        break;
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
        Conclude({ Verdict::RemovalFailed, message });
        break;
    case IST_CODE_START:
        if (m_state != State::Concluded) {
            m_state = State::Installing;
        }
        WriteStateFiles(m_folder, InstallerFileName());
        break;
    case IST_CODE_PROGRESS:
        m_face.ShowProgress(m_progress.InstallPercent(progress));
        break;
    case IST_CODE_SUCCESS:
        Conclude({ Verdict::Installed });
        break;
    case IST_CODE_FAIL:
        Conclude({ static_cast<int>(progress) == kFailTimedOut ? Verdict::PackageTimedOut : Verdict::PackageFailed,
            message });
        break;
    case IST_CODE_INST_PATH:
        // An empty report would record nothing and put set.ini at the drive's root.
        if (!ReportedPathValue(message).empty()) {
            m_folder = ReportedPathValue(message);
        }
        break;
    case IST_CODE_EXE_PATH:
        m_reports.exePath = ReportedPathValue(message);
        break;
    case IST_CODE_UNINST_EP:
        m_reports.uninstaller = ReportedPathValue(message);
        break;
    case IST_CODE_START_URL:
        m_reports.startUrl = ReportedPathValue(message);
        break;
    case IST_CODE_STARTUP_STYLE:
        m_reports.startupStyle
            = std::isfinite(progress) && std::fabs(progress) < 2147483647.0 ? static_cast<int>(progress) : 0;
        break;
    case IST_CODE_TOP_SHOW_DETENTION:
        m_reports.topShowDelay = DelayFromReport(progress);
        break;
    case IST_CODE_FINISH_CLOSE_DETENTION:
        m_reports.autoCloseDelay = DelayFromReport(progress);
        break;
    case IST_CODE_MESSAGE:
        m_face.ShowPackageMessage(message);
        break;
    default:
        break;
    }
}

} // namespace Session

DWORD DelayFromReport(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 4294967295.0) {
        return 0xFFFFFFFF;
    }
    if (value <= -2147483648.0) {
        return 0x80000000;
    }
    // Negative values wrap as an integer conversion would: -1 means "never".
    return value < 0 ? static_cast<DWORD>(static_cast<long long>(value)) : static_cast<DWORD>(value);
}
