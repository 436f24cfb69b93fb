#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>

#include "config/RunSettings.h"
#include "session/InstallSession.h"
#include "session/RunIntent.h"

namespace Session {

// The kind of run the settings ask for.
RunKind RunKindOf(const Config::RunSettings& settings);

// Owns one run from the first setting to the last child: the install session, the one
// sequence every kind of run goes through, and the hidden top-level window that carries the
// stages' reports and the faces' intents to it and hears of the system's end of session.
// The sequence: what is installed is found (the session's start), the face asks (Install or
// Remove), the session checks and plans (a refusal is told), the face confirms (Apply or
// Cancel), the plan is applied, and the verdict is concluded and told; a face may ask
// again after a refusal or a failure. A face (the window, quiet mode, a removal) comes and
// goes; the run goes on without one until its verdict and until every package or old
// uninstaller it started has ended (each bounded by the package time limit where one is
// set). Only a stop before the package starts, or the end of the system's session, ends a
// child early. UI thread.
class SessionRun {
public:
    // The stages a run uses: the download-and-install pipeline unless a test puts another
    // in its place; made with the sink that carries their events to the run.
    using PipelineMaker = std::function<std::unique_ptr<Pipeline::StagePipeline>(StageEventSink)>;
    explicit SessionRun(const Config::RunSettings& settings, const PipelineMaker& makePipeline = {});
    // Stops and joins whatever still runs.
    ~SessionRun();
    SessionRun(const SessionRun&) = delete;
    SessionRun& operator=(const SessionRun&) = delete;

    // False when the hidden window could not be made (no report would arrive).
    bool Opened() const noexcept { return m_window != nullptr; }

    InstallSession& Install() noexcept { return *m_session; }
    const InstallSession& Install() const noexcept { return *m_session; }
    const Config::RunSettings& Settings() const noexcept { return m_settings; }
    HWND ReportWindow() const noexcept { return m_window; }
    RunKind Kind() const noexcept { return RunKindOf(m_settings); }

    // The whole run with face: the unattended refusals, then the face's life (its intents
    // carried out as they come), then the wait for every child. Returns the exit code.
    int Run(RunFace& face);
    // How the run has ended so far, as its exit code (RunExitCode).
    int ExitCode() const;

    // A face's answer: carried out on this thread once the caller has returned.
    void Post(const Intent& intent);
    // What the session tells from now on, for a face whose window comes and goes while it
    // runs; nullptr: the face has gone, nothing is told to it any more.
    void Attach(InstallFace* face) noexcept { m_session->SetFace(face); }

    // Runs this thread's messages until done() is true; the end of the system's session ends
    // the process from inside.
    void PumpUntil(const std::function<bool()>& done);

    // WM_QUERYENDSESSION and WM_ENDSESSION, for every top-level window of the run (its own
    // and a face's): the one way the end of the system's session is handled. On a confirmed
    // end the stages are stopped at once (a package still running is ended), nothing more
    // is recorded, and the process exits with the run's code for StoppedBySystem.
    LRESULT OnSystemSessionMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called with that exit code once every stage has stopped, just before the process ends.
    void SetBeforeSystemExit(std::function<void(int exitCode)> beforeExit)
    {
        m_beforeSystemExit = std::move(beforeExit);
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CarryOutIntents();
    void CarryOut(const Intent& intent);
    // A refusal of the checks: the run's outcome so far, and told.
    void Refuse(const Outcome& refusal);
    bool Done() const;
    // The face has gone: waits for the verdict and every child, then stops and joins every
    // stage.
    void Finish();
    [[noreturn]] void EndOfSystemSession(const wchar_t* why);
    const wchar_t* LogPrefix() const noexcept { return m_settings.unattended ? L"quiet: " : L""; }

    const Config::RunSettings m_settings;
    HWND m_window = nullptr;
    std::unique_ptr<InstallSession> m_session;
    std::deque<Intent> m_intents;
    std::function<void(int exitCode)> m_beforeSystemExit;
};

} // namespace Session
