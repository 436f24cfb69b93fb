#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "session/InstallSession.h"

struct StageReport;

// The one-click install without a window: the install session's checks, stages and records,
// everything the window would have said in the log, and an exit code (Config::ExitCode)
// instead of prompts. Stage reports arrive on a hidden top-level window, which also hears of
// a shutdown or logoff; it is never shown.
class QuietInstall : private Session::InstallFace {
public:
    QuietInstall();
    ~QuietInstall() override;
    QuietInstall(const QuietInstall&) = delete;
    QuietInstall& operator=(const QuietInstall&) = delete;

    // Runs the whole install on the calling thread's message loop; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The session's checks before the install; the refusal's exit code, or -2 when the
    // install is prepared.
    int Prepare();
    bool CreateHiddenWindow();
    void ShowPackageMessage(const std::wstring& text) override;
    void Concluded(const Session::Outcome& outcome) override;
    // Ends the run with code once the package or old uninstaller (if one runs) has ended.
    void FinishAfterChildren(int code);
    void Finish(int code);
    void StopForEndOfSession(const wchar_t* why);
    void LaunchProduct();

    int m_exitCode = -2;
    int m_pendingCode = -2;
    HWND m_window = nullptr;
    std::unique_ptr<Session::InstallSession> m_session;
};
