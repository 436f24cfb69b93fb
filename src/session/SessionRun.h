#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "config/RunSettings.h"
#include "session/InstallSession.h"

namespace Session {

// Owns one run from the first setting to the last child: the install session, and the hidden
// top-level window that carries the stages' reports to it and hears of the system's end of
// session. A face (the window, quiet mode) comes and goes; the run goes on without one until
// its verdict and until every package or old uninstaller it started has ended (each bounded
// by the package time limit where one is set). Only a stop before the package starts, or the
// end of the system's session, ends a child early. UI thread.
class SessionRun {
public:
    explicit SessionRun(const Config::RunSettings& settings);
    // Stops and joins whatever still runs.
    ~SessionRun();
    SessionRun(const SessionRun&) = delete;
    SessionRun& operator=(const SessionRun&) = delete;

    // False when the hidden window could not be made (no report would arrive).
    bool Opened() const noexcept { return m_window != nullptr; }

    InstallSession& Install() noexcept { return *m_session; }
    const Config::RunSettings& Settings() const noexcept { return m_settings; }
    HWND ReportWindow() const noexcept { return m_window; }

    // The face that shows the run from now on; nullptr: the face has gone.
    void Attach(InstallFace* face) noexcept { m_session->SetFace(face); }

    // Runs this thread's messages until done() is true; the end of the system's session ends
    // the process from inside.
    void PumpUntil(const std::function<bool()>& done);

    // The face has gone: waits for the verdict and every child, then stops and joins every
    // stage. Returns exitCode.
    int Finish(int exitCode);

    // Shutdown or logoff ("shutdown", "logoff"): the stages are stopped at once (a package
    // still running is ended), nothing more is recorded, and the process exits with the
    // code of the face in use (a window run 0, quiet mode and a removal their own).
    [[noreturn]] void EndOfSystemSession(const wchar_t* why);
    // Called with that exit code once every stage has stopped, just before the process ends.
    void SetBeforeSystemExit(std::function<void(int exitCode)> beforeExit)
    {
        m_beforeSystemExit = std::move(beforeExit);
    }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool Done() const;

    const Config::RunSettings m_settings;
    HWND m_window = nullptr;
    std::unique_ptr<InstallSession> m_session;
    std::function<void(int exitCode)> m_beforeSystemExit;
};

} // namespace Session
