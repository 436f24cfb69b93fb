#include "ui/QuietInstall.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <atomic>

#include "config/InstallerConfig.h"
#include "toolkit/SkinArchive.h"
#include "ui/StageReport.h"
#include "ui/UiTexts.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"

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

// The international layout offers a language list, whose one-click install tells the
// package its language; the default one says none.
bool LayoutOffersLanguages()
{
    const std::optional<Toolkit::Bytes> layout = Toolkit::ReadSkinFile(L"MainWnd.xml");
    const std::string_view needle = "name=\"languageCombo\"";
    return layout && std::search(layout->begin(), layout->end(), needle.begin(), needle.end()) != layout->end();
}

} // namespace

QuietInstall::QuietInstall() = default;

QuietInstall::~QuietInstall()
{
    m_session.reset();
    if (m_window) {
        ::DestroyWindow(m_window);
    }
}

int QuietInstall::Run()
{
    LOG(L"quiet mode: no window; the exit code tells the result\r\n");
    if (!CreateHiddenWindow()) {
        LOG(L"quiet: the hidden window could not be made, error %lu\r\n", ::GetLastError());
        return ExitCode::kInternalFailure;
    }
    const HWND window = m_window;
    m_session = std::make_unique<Session::InstallSession>(
        static_cast<Session::InstallFace&>(*this), [window](int code, double progress, const std::wstring& message) {
            PostStageReport(window, code, progress, message);
        });
    const int refused = Prepare();
    if (refused != kNoCode) {
        LOG(L"quiet: nothing installed, exit code %d\r\n", refused);
        m_session.reset();
        return refused;
    }
    if (TheInstallerConfig().IsCheckNet) {
        // The window's check only ever warns; here the download itself decides.
        LOG(L"quiet: network check skipped, the download decides\r\n");
    }
    m_session->Start();

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
    m_session.reset();
    DiscardQueuedStageReports(m_window);
    ::DestroyWindow(m_window);
    m_window = nullptr;
    LOG(L"quiet: exit code %d\r\n", m_exitCode);
    return m_exitCode;
}

int QuietInstall::Prepare()
{
    if (auto refusal = m_session->CheckSettings()) {
        return Session::ExitCodeOf(refusal->verdict);
    }
    const std::wstring folder = m_session->OneClickFolder();
    const Session::InstallRequest request { folder, true, true, m_session->OneClickLanguage(LayoutOffersLanguages()) };
    const std::optional<Session::Outcome> refusal = m_session->Prepare(request);
    if (!refusal) {
        return kNoCode;
    }
    switch (refusal->verdict) {
    case Session::Verdict::ProductRunning:
        LogPrompt(
            refusal->oldUninstallerRunning ? L"an old version's uninstaller is running" : L"the product is running",
            UiTexts::kProductRunning);
        break;
    case Session::Verdict::InvalidFolder:
        LogPrompt(L"invalid folder", UiTexts::kInvalidPath, folder);
        break;
    case Session::Verdict::LowDiskSpace:
        LogPrompt(L"less than 1 GB free", UiTexts::kLowDiskSpace, folder);
        break;
    default:
        break;
    }
    return Session::ExitCodeOf(refusal->verdict);
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
    case WM_STAGE_REPORT: {
        std::unique_ptr<StageReport> report(reinterpret_cast<StageReport*>(lParam));
        // Once the result is known the run is only being waited for.
        if (report && m_session && m_pendingCode == kNoCode) {
            m_session->OnStageReport(report->code, report->progress, report->message);
        }
        return 0;
    }
    case WM_TIMER:
        if (wParam == kChildRunTimer && (!m_session || m_session->ChildRunsEnded())) {
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
    if (m_session) {
        m_session->Stop();
    }
    DiscardQueuedStageReports(m_window);
    // The system ends the process once this message is handled, with a code of its own:
    // leave first, with ours. Every thread has been joined.
    const int code = Session::ExitCodeOf(Session::Verdict::StoppedBySystem);
    LOG(L"quiet: exit code %d\r\n", code);
    ::ExitProcess(static_cast<UINT>(code));
}

void QuietInstall::ShowPackageMessage(const std::wstring& text)
{
    LogPrompt(L"the package says", UiTexts::kPackageMessage, text);
}

void QuietInstall::Concluded(const Session::Outcome& outcome)
{
    switch (outcome.verdict) {
    case Session::Verdict::Installed:
        LOG(L"quiet: installed into '%s'\r\n", m_session->Folder().c_str());
        if (TheInstallerConfig().Launch) {
            LaunchProduct();
        }
        break;
    case Session::Verdict::SignatureRefused:
        LOG(L"quiet: the package's signature was refused\r\n");
        break;
    case Session::Verdict::DownloadFailed:
        LOG(L"quiet: download failed (当前网络环境较差，请在网络通畅时进行重试): %s\r\n", outcome.message.c_str());
        break;
    case Session::Verdict::PackageFailed:
        LogPrompt(L"the package reported failure", UiTexts::kInstallFailed, outcome.message);
        break;
    case Session::Verdict::PackageTimedOut:
        LOG(L"quiet: the package did not finish in time\r\n");
        break;
    case Session::Verdict::RemovalFailed:
        LogPrompt(L"the old version's removal failed", UiTexts::kProductRunning, outcome.message);
        break;
    default:
        break;
    }
    FinishAfterChildren(Session::ExitCodeOf(outcome.verdict));
}

void QuietInstall::LaunchProduct()
{
    const std::wstring exe = m_session->ProductExe();
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
    if (m_session && !m_session->ChildRunsEnded()) {
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
