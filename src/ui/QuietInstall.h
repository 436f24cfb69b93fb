#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ui/InstallRecord.h"

class CDownloadInstaller;
struct StageReport;

// The one-click install without a window: the same checks in the same order, the same
// pipeline and records, everything the window would have said in the log, and an exit code
// (Config::ExitCode) instead of prompts. Stage reports arrive on a hidden top-level window,
// which also hears of a shutdown or logoff; it is never shown.
class QuietInstall {
public:
    QuietInstall();
    ~QuietInstall();
    QuietInstall(const QuietInstall&) = delete;
    QuietInstall& operator=(const QuietInstall&) = delete;

    // Runs the whole install on the calling thread's message loop; returns the exit code.
    int Run();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    // The checks before the pipeline starts; an exit code when one refuses, else -2.
    int CheckBeforeInstall();
    bool CreateHiddenWindow();
    void OnStageReport(std::unique_ptr<StageReport> report);
    void OnInstallSucceeded();
    // Ends the run with code once the package or old uninstaller (if one runs) has ended.
    void FinishAfterChildren(int code);
    void Finish(int code);
    void StopForEndOfSession(const wchar_t* why);
    void LaunchProduct();

    std::wstring m_installFolder;
    ExistingInstallation m_existing;
    bool m_consoleUserIsAdmin = false;
    bool m_processIsAdmin = false;
    std::wstring m_productExePath;
    std::wstring m_reportedUninstaller;
    int m_exitCode = -2;
    int m_pendingCode = -2;
    HWND m_window = nullptr;
    std::unique_ptr<CDownloadInstaller> m_pipeline;
};
