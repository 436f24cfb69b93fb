#include "session/SessionRun.h"

#include <atomic>
#include <memory>
#include <optional>

#include "session/StageReport.h"
#include "utils/Log.h"

namespace Session {

namespace {

constexpr wchar_t kWindowClass[] = L"VellumoraQuietInstall";
// A console control event (a process with a console) asks the window's thread to stop.
constexpr UINT WM_RUN_END_SESSION = WM_APP + 0x140;
// A face's intent waits in the run's queue.
constexpr UINT WM_RUN_INTENT = WM_APP + 0x141;

std::atomic<HWND> g_runWindow { nullptr };

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event != CTRL_CLOSE_EVENT && event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT) {
        return FALSE;
    }
    const HWND window = g_runWindow.load();
    if (!window) {
        return FALSE;
    }
    // The process ends when this returns: let the window's thread stop the stages, which
    // ends the process itself; the system's own limit (5 s) bounds the wait.
    ::SendMessageTimeoutW(window, WM_RUN_END_SESSION, event, 0, SMTO_NORMAL, 5000, nullptr);
    return TRUE;
}

HWND CreateReportWindow(void* owner)
{
    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return nullptr;
    }
    // Top-level, so shutdown and logoff reach it (a message-only window would hear nothing);
    // never shown.
    const HWND window = ::CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"Vellumora", WS_POPUP, 0, 0, 0, 0, nullptr,
        nullptr, windowClass.hInstance, nullptr);
    if (window) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    return window;
}

} // namespace

SessionRun::SessionRun(const Config::RunSettings& settings, const PipelineMaker& makePipeline)
    : m_settings(settings)
    , m_window(CreateReportWindow(this))
{
    if (!m_window) {
        LOG(L"the run's hidden window could not be made, error %lu\r\n", ::GetLastError());
    } else {
        ::SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SessionRun::WindowProc));
    }
    const HWND window = m_window;
    const StageEventSink sink = [window](const StageEvent& event) {
        PostStageReport(window, event);
    };
    m_session = std::make_unique<InstallSession>(m_settings, sink, makePipeline ? makePipeline(sink) : nullptr);
    g_runWindow = m_window;
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

SessionRun::~SessionRun()
{
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    g_runWindow = nullptr;
    m_session.reset();
    if (m_window) {
        DiscardQueuedStageReports(m_window);
        ::DestroyWindow(m_window);
    }
}

LRESULT CALLBACK SessionRun::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<SessionRun*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->m_window == window) {
        return self->HandleMessage(message, wParam, lParam);
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

RunKind RunKindOf(const Config::RunSettings& settings)
{
    if (settings.layout) {
        return RunKind::Layout;
    }
    if (settings.uninstall) {
        return settings.unattended ? RunKind::QuietRemoval : RunKind::WindowRemoval;
    }
    return settings.unattended ? RunKind::QuietInstall : RunKind::WindowInstall;
}

int SessionRun::ExitCode() const
{
    return RunExitCode(Kind(), m_session->LastOutcome());
}

int SessionRun::Run(RunFace& face)
{
    std::optional<Outcome> refusal;
    if (m_settings.unattended) {
        refusal = m_session->CheckUnattendedSettings();
        if (!refusal) {
            LOG(L"quiet mode: no window; the exit code tells the result\r\n");
        }
    }
    if (!refusal && !Opened()) {
        refusal = Outcome { Verdict::InternalFailure };
    }
    if (refusal) {
        LOG(L"%snothing %s\r\n", LogPrefix(),
            IsRemoval(Kind())               ? L"removed"
                : Kind() == RunKind::Layout ? L"written"
                                            : L"installed");
        m_session->EndWith(*refusal);
    } else {
        m_session->SetFace(&face.Shows());
        face.Run(*this);
        m_session->SetFace(nullptr);
        // What the face asked for last (the installed product opened as its window closed).
        CarryOutIntents();
        Finish();
    }
    const int code = ExitCode();
    if (Kind() != RunKind::WindowInstall) {
        LOG(L"%sexit code %d\r\n", LogPrefix(), code);
    }
    return code;
}

void SessionRun::Post(const Intent& intent)
{
    m_intents.push_back(intent);
    if (!m_window || !::PostMessageW(m_window, WM_RUN_INTENT, 0, 0)) {
        LOG(L"an intent could not be posted; carried out at the run's end\r\n");
    }
}

void SessionRun::CarryOutIntents()
{
    while (!m_intents.empty()) {
        const Intent intent = m_intents.front();
        m_intents.pop_front();
        CarryOut(intent);
    }
}

void SessionRun::Refuse(const Outcome& refusal)
{
    // A window's user may ask again; the run ends with a refusal only where nobody can.
    if (Kind() != RunKind::WindowInstall) {
        m_session->EndWith(refusal);
    }
    m_session->Face().Refused(refusal);
}

void SessionRun::CarryOut(const Intent& intent)
{
    InstallSession& session = *m_session;
    const bool asksAnew = intent.kind == Intent::Kind::Install || intent.kind == Intent::Kind::Remove
        || intent.kind == Intent::Kind::Layout;
    if (asksAnew && session.Running()) {
        // A second request for a run already going (a double click, a retry racing a
        // verdict): the running attempt keeps its plan.
        LOG(L"install already running\r\n");
        return;
    }
    switch (intent.kind) {
    case Intent::Kind::Install:
        if (auto refusal = session.Prepare(intent.request)) {
            Refuse(*refusal);
        } else {
            session.Face().Confirm();
        }
        break;
    case Intent::Kind::Remove:
    case Intent::Kind::Layout:
        if (auto refusal = intent.kind == Intent::Kind::Remove ? session.PrepareRemoval() : session.PrepareLayout()) {
            Refuse(*refusal);
        } else {
            session.Face().Confirm();
        }
        break;
    case Intent::Kind::Apply:
        if (session.CurrentState() != InstallSession::State::Prepared) {
            // A second request for a run already going (a double click, two checks).
            LOG(L"install already running\r\n");
            break;
        }
        if (Kind() == RunKind::WindowRemoval) {
            // The product may have been started while the question was up.
            if (auto refusal = session.RefuseWhileProductRuns()) {
                Refuse(*refusal);
                break;
            }
        }
        session.Start();
        session.Face().Started();
        break;
    case Intent::Kind::Cancel:
        LOG(L"removal: the user answered no; nothing is removed\r\n");
        session.EndWith({ Verdict::Cancelled });
        session.Face().Concluded({ Verdict::Cancelled });
        break;
    case Intent::Kind::OpenExisting:
        session.OpenExistingProduct();
        break;
    case Intent::Kind::Finish:
        session.FinishButtonPressed();
        break;
    }
}

LRESULT SessionRun::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_STAGE_REPORT: {
        std::unique_ptr<StageReport> report(reinterpret_cast<StageReport*>(lParam));
        if (report && m_session) {
            m_session->OnStageReport(report->event);
        }
        return 0;
    }
    case WM_RUN_INTENT:
        CarryOutIntents();
        return 0;
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
        return OnSystemSessionMessage(message, wParam, lParam);
    case WM_RUN_END_SESSION:
        EndOfSystemSession(wParam == CTRL_LOGOFF_EVENT ? L"logoff" : L"shutdown");
        return 0;
    case WM_CLOSE:
        return 0; // nobody closes a window that is never shown; the run decides when to end
    default:
        return ::DefWindowProcW(m_window, message, wParam, lParam);
    }
}

LRESULT SessionRun::OnSystemSessionMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION) {
        // An installer never holds up a shutdown; the run stops when it is confirmed.
        LOG(L"%sthe session is ending (0x%08lX)\r\n", LogPrefix(), static_cast<unsigned long>(lParam));
        return TRUE;
    }
    if (message == WM_ENDSESSION) {
        if (wParam) {
            EndOfSystemSession(lParam & ENDSESSION_LOGOFF ? L"logoff" : L"shutdown");
        }
        LOG(L"%sthe session goes on\r\n", LogPrefix());
    }
    return 0;
}

void SessionRun::PumpUntil(const std::function<bool()>& done)
{
    bool quit = false;
    int quitCode = 0;
    while (!done()) {
        // Polled as well: a child's end comes without a message.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    if (quit) {
        ::PostQuitMessage(quitCode); // for whoever asked for it
    }
}

bool SessionRun::Done() const
{
    return !m_session->Running() && m_session->ChildRunsEnded();
}

void SessionRun::Finish()
{
    if (!Done()) {
        LOG(L"%sthe run goes on without a window until its package or old uninstaller has ended\r\n", LogPrefix());
        PumpUntil([this] { return Done(); });
        LOG(L"%sthe package or old uninstaller has ended\r\n", LogPrefix());
    }
    m_session->Stop();
    if (m_window) {
        DiscardQueuedStageReports(m_window);
    }
}

void SessionRun::EndOfSystemSession(const wchar_t* why)
{
    LOG(L"%sstopped by the system (%s); nothing is recorded\r\n", LogPrefix(), why);
    if (m_session->Running()) {
        m_session->EndWith({ Verdict::StoppedBySystem });
    }
    // Joins every stage and ends a package still running; reports in flight are dropped.
    m_session->Stop();
    if (m_window) {
        DiscardQueuedStageReports(m_window);
    }
    // The system ends the process once this message is handled, with a code of its own:
    // leave first, with ours. Every thread has been joined. A run that was stopped before a
    // verdict has the run's code for it (a window install's 0, a removal's 10 too).
    const int code = RunExitCode(Kind(), Outcome { Verdict::StoppedBySystem });
    LOG(L"%sexit code %d\r\n", LogPrefix(), code);
    if (m_beforeSystemExit) {
        m_beforeSystemExit(code);
    }
    ::ExitProcess(static_cast<UINT>(code));
}

} // namespace Session
