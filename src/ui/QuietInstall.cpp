#include "ui/QuietInstall.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>

#include "config/ExitCodes.h"
#include "config/FolderOption.h"
#include "config/InstallerConfig.h"
#include "config/ProxySetting.h"
#include "config/Language.h"
#include "config/SignerPin.h"
#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "toolkit/SkinArchive.h"
#include "ui/InstallFolders.h"
#include "ui/StageReport.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/HardDiskManager.h"
#include "utils/Log.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

namespace ExitCode = Config::ExitCode;

namespace {

constexpr wchar_t kWindowClass[] = L"VellumoraQuietInstall";
constexpr int kNoCode = -2;
constexpr UINT_PTR kChildRunTimer = 1;
// A console control event (a process with a console) asks the window's thread to stop.
constexpr UINT WM_QUIET_END_SESSION = WM_APP + 0x140;

std::atomic<HWND> g_quietWindow { nullptr };

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
        return FALSE;
    }
    const HWND window = g_quietWindow.load();
    if (!window) {
        return FALSE;
    }
    // The process ends when this returns: let the window's thread stop the pipeline, which
    // ends the process itself; the system's own limit (5 s) bounds the wait.
    ::SendMessageTimeoutW(window, WM_QUIET_END_SESSION, event, 0, SMTO_NORMAL, 5000, nullptr);
    return TRUE;
}

// What the window would have said: the reason, then its prompt's words (which an ANSI
// debugger channel may not carry) and the details.
void LogPrompt(const wchar_t* reason, const UiText& text, const std::wstring& detail = L"")
{
    LOG(L"quiet: %s (%s)%s%s\r\n", reason, text.literal, detail.empty() ? L"" : L": ", detail.c_str());
}

// The international layout offers a language list, and its one-click install tells the
// package the list's choice: "-language=" or the user's language. The default one says none.
std::wstring OneClickLanguageCode()
{
    const std::optional<Toolkit::Bytes> layout = Toolkit::ReadSkinFile(L"MainWnd.xml");
    const std::string_view needle = "name=\"languageCombo\"";
    if (!layout || std::search(layout->begin(), layout->end(), needle.begin(), needle.end()) == layout->end()) {
        return {};
    }
    int index = TheInstallerConfig().LanguageIndex;
    if (index == -1) {
        index = Utils::UiLanguageTable(::GetUserDefaultUILanguage());
    }
    if (index < 0 || index >= Utils::kLanguageCount) {
        index = 0;
    }
    return Utils::InstallLanguageCode(index);
}

} // namespace

QuietInstall::QuietInstall() = default;

QuietInstall::~QuietInstall()
{
    m_pipeline.reset();
    if (m_window) {
        ::DestroyWindow(m_window);
    }
}

int QuietInstall::Run()
{
    LOG(L"quiet mode: no window; the exit code tells the result\r\n");
    const int refused = CheckBeforeInstall();
    if (refused != kNoCode) {
        LOG(L"quiet: nothing installed, exit code %d\r\n", refused);
        return refused;
    }
    if (!CreateHiddenWindow()) {
        LOG(L"quiet: the hidden window could not be made, error %lu\r\n", ::GetLastError());
        return ExitCode::kInternalFailure;
    }
    const HWND window = m_window;
    m_pipeline = std::make_unique<CDownloadInstaller>([window](int code, double progress, const std::wstring& message) {
        PostStageReport(window, code, progress, message);
    });
    const std::wstring oldUninstaller
        = KeepsExistingVersion(m_existing.folder, m_installFolder) ? std::wstring() : m_existing.uninstaller;
    LOG(L"install into '%s', old uninstaller '%s'\r\n", m_installFolder.c_str(), oldUninstaller.c_str());
    const InstallerConfig& config = TheInstallerConfig();
    if (config.IsCheckNet) {
        // The window's check only ever warns; here the download itself decides.
        LOG(L"quiet: network check skipped, the download decides\r\n");
    }
    m_pipeline->SetParams(config.DownloadUrl, m_existing.folder, oldUninstaller, m_installFolder, true, true,
        m_consoleUserIsAdmin, m_processIsAdmin, OneClickLanguageCode());
    m_pipeline->Start();

    g_quietWindow = m_window;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    MSG msg;
    while (m_exitCode == kNoCode && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_quietWindow = nullptr;
    if (m_exitCode == kNoCode) {
        m_exitCode = ExitCode::kInternalFailure; // the loop ended without a result
    }
    // Stops and joins whatever still runs; queued reports are freed with the window.
    m_pipeline.reset();
    DiscardQueuedStageReports(m_window);
    ::DestroyWindow(m_window);
    m_window = nullptr;
    LOG(L"quiet: exit code %d\r\n", m_exitCode);
    return m_exitCode;
}

int QuietInstall::CheckBeforeInstall()
{
    const InstallerConfig& config = TheInstallerConfig();
    if (config.InstallDir) {
        const std::wstring problem = Config::FolderOptionProblem(*config.InstallDir);
        if (!problem.empty()) {
            LOG(L"quiet: -installdir='%s' refused, %s\r\n", config.InstallDir->c_str(), problem.c_str());
            return ExitCode::kInvalidValue;
        }
    }
    if (const Config::ProxySetting proxy = Config::ParseProxySetting(config.Proxy); !proxy.valid) {
        LOG(L"quiet: -proxy refused, %s\r\n", proxy.problem.c_str());
        return ExitCode::kInvalidValue;
    }
    if (Config::ParseSignerPin(config.PackageSigner).state == Config::SignerPin::State::Unreadable) {
        LOG(L"quiet: PackageSigner refused, the value is malformed\r\n");
        return ExitCode::kInvalidValue;
    }

    m_existing = ReadExistingInstallation();
    // The existing-installation prompt's own check comes first.
    if (m_existing.present && Utils::FindProcessIdByName(L"Quorvel.exe") != 0 && !config.InsNew) {
        LogPrompt(L"the product is running", UiTexts::kProductRunning);
        return ExitCode::kProductRunning;
    }
    const DefaultFolderInputs inputs
        = CurrentDefaultFolderInputs(m_existing.folder, m_existing.uninstaller, /*unattended=*/true);
    m_consoleUserIsAdmin = inputs.consoleUserIsAdmin;
    m_processIsAdmin = inputs.processIsAdmin;
    // With an installation present, the window's way in is its prompt, whose "install over
    // it" goes to that installation's folder.
    if (config.InstallDir) {
        m_installFolder = *config.InstallDir;
    } else {
        m_installFolder = m_existing.present ? m_existing.folder : DefaultInstallFolder(inputs);
    }

    if (Utils::FindProcessIdByName(L"TarvikQuill_un_asa.exe") != 0 && !config.InsNew) {
        LogPrompt(L"an old version's uninstaller is running", UiTexts::kProductRunning);
        return ExitCode::kProductRunning;
    }
    if (Utils::FindProcessIdByName(L"Quorvel.exe") != 0 && !config.InsNew) {
        LogPrompt(L"the product is running", UiTexts::kProductRunning);
        return ExitCode::kProductRunning;
    }
    if (!IsUsableInstallFolder(m_installFolder)) {
        LogPrompt(L"invalid folder", UiTexts::kInvalidPath, m_installFolder);
        return ExitCode::kInvalidFolder;
    }
    if (Utils::FreeGigabytesForFolder(m_installFolder) < 1.0) {
        LogPrompt(L"less than 1 GB free", UiTexts::kLowDiskSpace, m_installFolder);
        return ExitCode::kLowDiskSpace;
    }
    return kNoCode;
}

bool QuietInstall::CreateHiddenWindow()
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &QuietInstall::WindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return false;
    }
    // Top-level, so shutdown and logoff reach it (a message-only window would hear nothing);
    // never shown.
    m_window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Vellumora", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
        windowClass.hInstance, this);
    return m_window != nullptr;
}

LRESULT CALLBACK QuietInstall::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<QuietInstall*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->m_window == window) {
        return self->HandleMessage(message, wParam, lParam);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT QuietInstall::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_STAGE_REPORT:
        OnStageReport(std::unique_ptr<StageReport>(reinterpret_cast<StageReport*>(lParam)));
        return 0;
    case WM_TIMER:
        if (wParam == kChildRunTimer && m_pipeline && m_pipeline->WaitForChildRuns(0)) {
            ::KillTimer(m_window, kChildRunTimer);
            Finish(m_pendingCode);
        }
        return 0;
    case WM_QUERYENDSESSION:
        // An installer never holds up a shutdown; the run stops when it is confirmed.
        LOG(L"quiet: the session is ending (0x%08lX)\r\n", static_cast<unsigned long>(lParam));
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) {
            StopForEndOfSession(lParam & ENDSESSION_LOGOFF ? L"logoff" : L"shutdown");
        } else {
            LOG(L"quiet: the session goes on\r\n");
        }
        return 0;
    case WM_QUIET_END_SESSION:
        StopForEndOfSession(wParam == CTRL_LOGOFF_EVENT ? L"logoff" : L"shutdown");
        return 0;
    case WM_CLOSE:
        return 0; // nobody closes a window that is never shown; the run decides when to end
    default:
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    }
}

void QuietInstall::StopForEndOfSession(const wchar_t* why)
{
    LOG(L"quiet: stopped by the system (%s); nothing is recorded\r\n", why);
    // Joins every stage and ends a package still running; reports in flight are dropped.
    m_pipeline.reset();
    DiscardQueuedStageReports(m_window);
    // The system ends the process once this message is handled, with a code of its own:
    // leave first, with ours. Every thread has been joined.
    LOG(L"quiet: exit code %d\r\n", ExitCode::kStoppedBySystem);
    ::ExitProcess(static_cast<UINT>(ExitCode::kStoppedBySystem));
}

void QuietInstall::OnStageReport(std::unique_ptr<StageReport> report)
{
    if (!report || m_pendingCode != kNoCode) {
        return; // the result is known; the run is only being waited for
    }
    const std::wstring& message = report->message;
    switch (report->code) {
    case Download::DL_CODE_FAIL:
        if (static_cast<int>(report->progress) == Download::kSignatureRefused) {
            LOG(L"quiet: the package's signature was refused\r\n");
            Finish(ExitCode::kSignatureRefused);
        } else {
            LOG(L"quiet: download failed (当前网络环境较差，请在网络通畅时进行重试): %d %s\r\n",
                static_cast<int>(report->progress), message.c_str());
            Finish(ExitCode::kDownloadFailed);
        }
        break;
    case IST_CODE_START:
        WriteStateFiles(m_installFolder, InstallerFileName());
        break;
    case IST_CODE_SUCCESS:
        OnInstallSucceeded();
        break;
    case IST_CODE_FAIL:
        if (static_cast<int>(report->progress) == kFailTimedOut) {
            LOG(L"quiet: the package did not finish in time\r\n");
            FinishAfterChildren(ExitCode::kPackageTimedOut);
            break;
        }
        LogPrompt(L"the package reported failure", UiTexts::kInstallFailed, message);
        FinishAfterChildren(ExitCode::kPackageFailed);
        break;
    case IST_CODE_INST_PATH:
        if (!ReportedPathValue(message).empty()) {
            m_installFolder = ReportedPathValue(message);
        }
        break;
    case IST_CODE_EXE_PATH:
        m_productExePath = ReportedPathValue(message);
        break;
    case IST_CODE_UNINST_EP:
        m_reportedUninstaller = ReportedPathValue(message);
        break;
    case IST_CODE_MESSAGE:
        LogPrompt(L"the package says", UiTexts::kPackageMessage, message);
        break;
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
        LogPrompt(L"the old version's removal failed", UiTexts::kProductRunning, message);
        FinishAfterChildren(ExitCode::kRemovalFailed);
        break;
    default:
        break;
    }
}

void QuietInstall::OnInstallSucceeded()
{
    RecordInstallation(m_installFolder, m_reportedUninstaller);
    WriteStateFiles(m_installFolder, InstallerFileName());
    LOG(L"quiet: installed into '%s'\r\n", m_installFolder.c_str());
    if (TheInstallerConfig().Launch) {
        LaunchProduct();
    }
    FinishAfterChildren(ExitCode::kInstalled);
}

void QuietInstall::LaunchProduct()
{
    const std::wstring exe = m_productExePath.empty() ? m_installFolder + L"\\Quorvel.exe" : m_productExePath;
    if (!Utils::PathExists(exe)) {
        LOG(L"no product to start at '%s'\r\n", exe.c_str());
        return;
    }
    const auto result
        = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", exe.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    LOG(L"quiet: started '%s' (%d)\r\n", exe.c_str(), static_cast<int>(result));
}

void QuietInstall::FinishAfterChildren(int code)
{
    // A verdict comes while its program still runs; ending now would end the program too.
    m_pendingCode = code;
    if (m_pipeline && !m_pipeline->WaitForChildRuns(0)) {
        ::SetTimer(m_window, kChildRunTimer, 100, nullptr);
        return;
    }
    Finish(code);
}

void QuietInstall::Finish(int code)
{
    m_pendingCode = code;
    m_exitCode = code;
    ::PostMessageW(m_window, WM_NULL, 0, 0); // wakes the loop, which sees the result
}
