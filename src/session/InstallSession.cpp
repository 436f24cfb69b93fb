#include "session/InstallSession.h"

#include <cmath>

#include "config/FolderOption.h"
#include "config/Language.h"
#include "config/LogFilePath.h"
#include "config/InstallerConfig.h"
#include "download/Downloader.h"
#include "install/AdminProbes.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "pipeline/InstallPlan.h"
#include "pipeline/OfflineLayout.h"
#include "session/InstallFolders.h"
#include "session/StageFacts.h"
#include "session/ProductToOpen.h"
#include "session/ProductWait.h"
#include "session/StartForUser.h"
#include "utils/FileSystem.h"
#include "utils/HardDiskManager.h"
#include "utils/Log.h"
#include "utils/Processes.h"

namespace Session {

namespace {

// A face that shows nothing: the run's own after its face has gone.
class NoFace final : public InstallFace {
public:
    void ShowPackageMessage(const std::wstring&) override { }
    // Nobody confirms: a plan without a face is never applied.
    void Confirm() override { }
    void Concluded(const Outcome&) override { }
};

NoFace g_noFace;

// The package and the old uninstaller never start while the product of this Windows session
// runs: they wait on their own thread, the window saying so; an unattended run waits no
// longer than the package time limit.
Pipeline::StagePipeline::StartGate ProductGate(
    const Config::RunSettings& settings, const std::wstring& machineFolder, const StageEventSink& post)
{
    const ULONGLONG limitMs = settings.unattended ? settings.packageTimeLimitMs : 0;
    return [post, limitMs, machineFolder](HANDLE stopEvent) -> int {
        const auto waiting = [&post](bool now) {
            LOG(L"%s waiting for the product to exit\r\n", now ? L"begins" : L"ends");
            post(StageEvent { kProductWaitReport, now ? 1.0 : 0.0, L"" });
        };
        switch (WaitForProductExit(stopEvent, limitMs, machineFolder, waiting)) {
        case ProductWaitEnd::ProductGone:
            return 0;
        case ProductWaitEnd::TimedOut:
            LOG(L"quiet: the product did not exit within the package time limit (%llu s); nothing is started\r\n",
                limitMs / 1000);
            return kFailProductRunning;
        case ProductWaitEnd::Stopped:
            break;
        }
        return kFailProductRunning;
    };
}

} // namespace

InstallSession::InstallSession(
    const Config::RunSettings& settings, StageEventSink post, std::unique_ptr<Pipeline::StagePipeline> pipeline)
    : m_settings(settings)
    , m_face(&g_noFace)
    , m_existing(ReadExistingInstallation())
    , m_systemAccount(settings.systemAccount)
    , m_progress(settings.downloadScale)
    , m_pipeline(pipeline ? std::move(pipeline) : std::make_unique<CDownloadInstaller>(post, settings))
{
    m_pipeline->SetStartGate(ProductGate(m_settings, MachineInstallationFolder(), post));
    if (m_existing.present) {
        LOG(L"existing installation in '%s', found in the %s record\r\n", m_existing.folder.c_str(),
            Config::ScopeName(m_existing.scope));
    }
    m_reports.startUrl = Config::RedirectEndpoint() + L"/redirect/ver1/quorvel/help/1.0/installer/123456";
}

void InstallSession::SetFace(InstallFace* face) noexcept
{
    m_face = face ? face : &g_noFace;
}

InstallSession::~InstallSession()
{
    Stop();
}

bool InstallSession::OnOwnThread(const wchar_t* what) const
{
    if (::GetCurrentThreadId() == m_thread) {
        return true;
    }
    LOG(L"%s called on thread %lu, not the session's: refused\r\n", what, ::GetCurrentThreadId());
    return false;
}

std::wstring InstallSession::DefaultFolder(bool unattended)
{
    return DefaultInstallFolder(CurrentDefaultFolderInputs(m_existing.folder, m_existing.uninstaller, unattended,
        RecordScope() == Config::InstallScope::Machine, m_systemAccount));
}

std::wstring InstallSession::OneClickFolder()
{
    const std::wstring defaultFolder = DefaultFolder(true);
    if (const auto& option = m_settings.installDir) {
        return *option;
    }
    // With an installation present, the window's way in is its prompt, whose "install over
    // it" goes to that installation's folder.
    return m_existing.present ? m_existing.folder : defaultFolder;
}

int InstallSession::InitialLanguage() const
{
    // An index outside the table falls back to English, so what the window says and what
    // the package is told agree.
    const int index = Utils::InitialLanguageIndex(m_settings.languageIndex, ::GetUserDefaultUILanguage());
    return m_existing.present ? Utils::RecordedLanguageIndex(m_existing.folder, index) : index;
}

std::optional<Outcome> InstallSession::CheckUnattendedSettings() const
{
    // Each was logged at start-up, in its own words (App::LogUnusableOptions).
    if (!m_settings.unknownOptions.empty() || !m_settings.unusable.empty()) {
        LOG(L"quiet: an option is unknown or a value unusable\r\n");
        // The verdict names the first refused setting; a refused folder itself.
        const std::wstring refused = m_settings.unusable.empty() ? L"" : m_settings.unusable.front().name;
        return Outcome { Verdict::InvalidValue,
            refused == L"InstallDir" ? m_settings.installDir.value_or(refused) : refused };
    }
    return std::nullopt;
}

std::optional<Outcome> InstallSession::RefuseWhileProductRuns() const
{
    // With "-insnew" the package waits for the product instead (ProductGate).
    if (!m_settings.insNew && FindRunning(L"Quorvel.exe") != 0) {
        LOG(L"the product is running\r\n");
        return Outcome { Verdict::ProductRunning };
    }
    return std::nullopt;
}

std::optional<Outcome> InstallSession::Prepare(const InstallRequest& request)
{
    if (!OnOwnThread(L"Prepare")) {
        return Outcome { Verdict::InternalFailure };
    }
    // The plan of a running attempt is the stages' own until its verdict.
    if (Running()) {
        LOG(L"install already running\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    // A failed package may still be rolling back: a new attempt would wait for it and could
    // lose its files to the old run's clean-up. Refused like a running old uninstaller.
    if (!ChildRunsEnded()) {
        LOG(L"the previous attempt's package or old uninstaller still runs\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    if (!m_settings.insNew && FindRunning(L"TarvikQuill_un_asa.exe") != 0) {
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
    // "D:\Apps\" is "D:\Apps": told and recorded without the backslash that would stand
    // before the package's closing quote.
    m_folder = WithoutTrailingBackslash(request.folder);
    m_removalOnly = false;
    Pipeline::InstallPlan plan;
    PlanPackage(plan);
    plan.folder = m_folder;
    // An install into the existing folder keeps the old version when its set.ini says so;
    // every other install removes it, when its uninstaller is there. Decided here only.
    const std::wstring uninstaller
        = KeepsExistingVersion(m_existing.folder, m_folder) ? std::wstring() : m_existing.uninstaller;
    plan.oldUninstaller = Utils::PathExists(uninstaller) ? uninstaller : std::wstring();
    plan.oldUninstallerMachineWide = m_existing.scope == Config::InstallScope::Machine;
    m_removes = !plan.oldUninstaller.empty();
    plan.recordScope = RecordScope();
    plan.productToStart = ProductExe();
    plan.package.desktopShortcut = request.desktopShortcut;
    plan.package.quickLaunch = request.quickLaunch;
    // Probed now, for the install that is about to run.
    plan.package.adminact = Utils::IsConsoleUserAdmin();
    plan.package.authorizationact = Utils::IsProcessAdmin();
    plan.package.language = request.language;
    plan.package.extraArguments = m_settings.packageArguments;
    plan.package.logExtraArguments = m_settings.logPackageArguments;
    LOG(L"install into '%s', old uninstaller '%s'\r\n", m_folder.c_str(), plan.oldUninstaller.c_str());
    m_pipeline->SetParams(plan);
    m_state = State::Prepared;
    return std::nullopt;
}

void InstallSession::PlanPackage(Pipeline::InstallPlan& plan) const
{
    plan.downloadUrl = m_settings.downloadUrl;
    plan.mirrorUrls = m_settings.mirrorUrls;
    // Before anything is removed (or written into a layout) the pipeline holds the package to
    // this floor.
    if (m_settings.allowDowngrade) {
        LOG(L"-allowdowngrade=true: a package older than the installed version (%s) may replace it\r\n",
            m_existing.version.empty() ? L"none recorded" : m_existing.version.c_str());
    } else if (m_existing.present) {
        plan.versionFloor = m_existing.version;
    }
}

std::optional<Outcome> InstallSession::PrepareLayout()
{
    if (!OnOwnThread(L"PrepareLayout")) {
        return Outcome { Verdict::InternalFailure };
    }
    if (Running()) {
        LOG(L"layout already running\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    const std::wstring& folder = m_settings.layoutFolder;
    // Before anything is downloaded.
    if (const std::wstring problem = Pipeline::PrepareLayoutFolder(folder); !problem.empty()) {
        LOG(L"-layout='%s' refused, %s\r\n", folder.c_str(), problem.c_str());
        return Outcome { Verdict::InvalidValue, folder };
    }
    m_folder = folder;
    m_removalOnly = false;
    m_removes = false;
    Pipeline::InstallPlan plan;
    PlanPackage(plan);
    plan.layoutFolder = folder;
    plan.recordScope = RecordScope();
    // A pin built in travels with the installer's copy; one given travels in its settings file.
    if (m_settings.signerPin.state == Config::SignerPin::State::Pinned && !m_settings.signerPinBuiltIn) {
        for (const Config::Thumbprint& thumbprint : m_settings.signerPin.thumbprints) {
            plan.layoutSigners += (plan.layoutSigners.empty() ? L"" : L",") + Config::ThumbprintText(thumbprint);
        }
    }
    LOG(L"offline layout into '%s': the package is fetched and checked as for an install, nothing is installed\r\n",
        folder.c_str());
    m_pipeline->SetParams(plan);
    m_state = State::Prepared;
    return std::nullopt;
}

std::optional<Outcome> InstallSession::PrepareRemoval()
{
    if (!OnOwnThread(L"PrepareRemoval")) {
        return Outcome { Verdict::InternalFailure };
    }
    if (Running()) {
        LOG(L"removal already running\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    if (!m_existing.present) {
        LOG(L"nothing to remove: neither the account's record nor the machine's names an installation that is "
            L"there\r\n");
        return Outcome { Verdict::NothingInstalled };
    }
    if (!ChildRunsEnded() || FindRunning(L"TarvikQuill_un_asa.exe") != 0) {
        LOG(L"an old version's uninstaller is running\r\n");
        return Outcome { Verdict::ProductRunning, L"", true };
    }
    if (auto refusal = RefuseWhileProductRuns()) {
        return refusal;
    }
    m_folder = m_existing.folder;
    m_removalOnly = true;
    m_removes = true;
    Pipeline::InstallPlan plan;
    plan.folder = m_existing.folder;
    plan.oldUninstaller = m_existing.uninstaller;
    plan.oldUninstallerMachineWide = m_existing.scope == Config::InstallScope::Machine;
    plan.removalOnly = true;
    plan.recordScope = RecordScope();
    LOG(L"remove the installation in '%s' (%s record), its uninstaller '%s'\r\n", m_folder.c_str(),
        Config::ScopeName(m_existing.scope), m_existing.uninstaller.c_str());
    m_pipeline->SetParams(plan);
    m_state = State::Prepared;
    return std::nullopt;
}

void InstallSession::Start()
{
    if (!OnOwnThread(L"Start")) {
        return;
    }
    if (m_state != State::Prepared) {
        LOG(L"no install prepared, or one is running\r\n");
        return;
    }
    m_reports.packageExitStatus.reset(); // this attempt's package has not run yet
    // Made now, as the plan is applied, and kept: a folder left to be made later could be
    // made first by someone else while the package downloads.
    if (!m_removalOnly && !Pipeline::MakeInstallFolder(m_folder, RecordScope())) {
        LOG(L"the install folder '%s' could not be made\r\n", m_folder.c_str());
    }
    m_progress.Begin(m_removes);
    m_state = m_removalOnly ? State::Removing : State::Acquiring;
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

Config::InstallScope InstallSession::RecordScope() const noexcept
{
    // A removal deletes the record it found.
    return m_removalOnly ? m_existing.scope : ScopeToRecord(m_existing, m_settings.scope, m_systemAccount);
}

std::wstring InstallSession::MachineInstallationFolder() const
{
    return m_existing.present && RecordScope() == Config::InstallScope::Machine ? m_existing.folder : std::wstring();
}

DWORD InstallSession::FindRunning(const wchar_t* program) const
{
    return FindRunningProgram(program, MachineInstallationFolder());
}

void InstallSession::FinishButtonPressed()
{
    if (m_state == State::Concluded && m_reports.startup == StageFact::Startup::FromFinishButton && !RestartPending()) {
        LaunchProduct();
    }
}

void InstallSession::OpenExistingProduct()
{
    // The folder comes from a record the user may have changed: only the recorded
    // installation's program is started, held as checked until it has started.
    const ProductToOpen product
        = CheckProductToOpen(m_existing.folder, RecordRootOf(m_existing.scope), m_settings.signerPin);
    if (!product.ok) {
        LOG(L"product not opened: %s\r\n", product.refusal.c_str());
        return;
    }
    StartForUser(product.program);
}

void InstallSession::OpenTerms()
{
    StartForUser(Config::RedirectEndpoint() + L"/redirect/ver1/quorvel/terms/1.0/installer/123456");
}

void InstallSession::LaunchProduct()
{
    // An unattended run starts the product only when asked to, and opens no page.
    if (!m_settings.unattended && m_reports.startUrl.size() > 5) {
        StartForUser(m_reports.startUrl);
    }
    const std::wstring product = ProductExe();
    if (!Utils::PathExists(product)) {
        LOG(L"no product to start at '%s'\r\n", product.c_str());
        return;
    }
    StartForUser(product);
}

void InstallSession::Conclude(Outcome outcome)
{
    if (m_state == State::Concluded) {
        return; // the first verdict stands
    }
    m_state = State::Concluded;
    if (outcome.verdict == Verdict::Installed) {
        outcome.restartRequired = m_reports.restartRequired;
    }
    UpdateRecords(outcome.verdict);
    LOG(L"verdict: %s%s%s%s\r\n", RowOf(outcome.verdict).name,
        outcome.restartRequired ? L" (the computer must restart)" : L"", outcome.message.empty() ? L"" : L", ",
        outcome.message.c_str());
    m_lastOutcome = outcome;
    // The records are written; the face shows the verdict (its prompts wait for its own loop,
    // so nothing it does reaches back in here), and the product, started last, takes the
    // screen from the finished page. Starting it may run a message loop of the shell's: with
    // nothing left to do here, a report or an intent it delivers finds the verdict complete.
    m_face->Concluded(outcome);
    const bool launches = m_settings.unattended ? m_settings.launch : m_reports.startup == StageFact::Startup::AtOnce;
    if (outcome.verdict == Verdict::Installed && launches) {
        if (outcome.restartRequired) {
            LOG(L"the product is not started: the computer must restart first\r\n");
        } else {
            LaunchProduct();
        }
    }
}

void InstallSession::UpdateRecords(Verdict verdict)
{
    const Config::InstallScope scope = RecordScope();
    const wchar_t* where = Utils::RecordRootName(RecordRootOf(scope));
    if (verdict == Verdict::Installed) {
        if (scope != m_settings.scope) {
            LOG(L"the installation found in the %s record is updated where it is, not in the %s record of this "
                L"run's scope\r\n",
                Config::ScopeName(scope), Config::ScopeName(m_settings.scope));
        }
        if (!RecordInstallation(scope, { m_folder, m_reports.uninstaller, m_reports.installVersion })) {
            LOG(L"the installation could not be recorded in full under %s\r\n", where);
        } else if (m_existing.present && m_existing.scope != scope) {
            // Moved from the system account's own record: one record, the one users' runs find.
            LOG(L"the system account's own record of the installation moves to the machine record\r\n");
            if (!RemoveInstallationRecord(m_existing.scope)) {
                LOG(L"the system account's own record could not be removed in full; the next run moves it again\r\n");
            }
        }
        WriteStateFiles(m_folder, InstallerFileName());
    } else if (verdict == Verdict::Removed) {
        // Removed from the record it was found in.
        const Config::InstallScope found = m_existing.scope;
        where = Utils::RecordRootName(RecordRootOf(found));
        if (RemoveInstallationRecord(found)) {
            LOG(L"the installation's record under %s is removed\r\n", where);
        } else {
            LOG(L"the installation's record under %s could not be removed in full\r\n", where);
        }
    }
}

bool InstallSession::RestartPending() const noexcept
{
    return m_lastOutcome && m_lastOutcome->restartRequired;
}

void InstallSession::OnStageReport(const StageEvent& event)
{
    if (!OnOwnThread(L"OnStageReport")) {
        return;
    }
    const StageFact fact = DecodeStageEvent(event, m_removalOnly);
    using Kind = StageFact::Kind;
    switch (fact.kind) {
    case Kind::None:
        break;
    case Kind::DownloadStarted:
        m_face->DownloadStarted();
        break;
    case Kind::DownloadDone:
        if (m_removes && m_state == State::Acquiring) {
            m_state = State::Removing;
        }
        break;
    case Kind::Progress:
        switch (fact.stage) {
        case StageFact::Stage::Download:
            m_face->ShowProgress(m_progress.DownloadPercent(fact.fraction));
            break;
        case StageFact::Stage::Removal:
            m_face->ShowProgress(m_progress.RemovalPercent(fact.fraction));
            break;
        case StageFact::Stage::Package:
            m_face->ShowProgress(m_progress.InstallPercent(fact.fraction));
            break;
        }
        break;
    case Kind::ProductWait:
        m_face->WaitingForProduct(fact.waiting);
        break;
    case Kind::PackageStarted:
        if (m_state != State::Concluded) {
            m_state = State::Installing;
        }
        WriteStateFiles(m_folder, InstallerFileName());
        break;
    case Kind::Verdict:
        Conclude({ fact.verdict, fact.text });
        break;
    case Kind::InstallFolder:
        m_folder = fact.text;
        break;
    case Kind::ProductProgram:
        m_reports.exePath = fact.text;
        break;
    case Kind::Uninstaller:
        m_reports.uninstaller = fact.text;
        break;
    case Kind::StartPage:
        m_reports.startUrl = fact.text;
        break;
    case Kind::InstallVersion:
        m_reports.installVersion = fact.text;
        break;
    case Kind::StartupStyle:
        m_reports.startup = fact.startup;
        break;
    case Kind::TopShowDelay:
        m_reports.topShowDelay = fact.delayMs;
        break;
    case Kind::AutoCloseDelay:
        m_reports.autoCloseDelay = fact.delayMs;
        break;
    case Kind::PackageMessage:
        m_face->ShowPackageMessage(fact.text);
        break;
    case Kind::RestartRequired:
        // Like a path, too late once the verdict is in: the installation is recorded and told.
        if (m_state != State::Concluded) {
            m_reports.restartRequired = true;
        }
        break;
    case Kind::PackageExitStatus:
        m_reports.packageExitStatus = fact.exitStatus;
        break;
    }
}

} // namespace Session
