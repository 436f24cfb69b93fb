#include <windows.h>

#include "app/CallerOutput.h"
#include "app/CrashDump.h"
#include "app/DllSearch.h"
#include "app/HelpText.h"
#include "app/RunLog.h"
#include "app/SingleInstance.h"
#include "config/ExitCodes.h"
#include "app/QuietRun.h"
#include "app/RemovalRun.h"
#include "app/ResultFile.h"
#include "app/SessionResult.h"
#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "install/AdminProbes.h"
#include "session/SessionRun.h"
#include "ui/CMainWnd.h"
#include "utils/Log.h"

namespace {

// The window's whole life: created, centred, run modally, destroyed (which joins the
// network check). The run it showed goes on without it.
void RunMainWindow(Session::SessionRun& run)
{
    CMainWnd window(run);
    if (!window.Create(nullptr, L"Vellumora", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        LOG(L"main window not created: %s\r\n", window.GetLoadError().c_str());
        return;
    }
    window.CenterWindow();
    window.ShowModal();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    App::RestrictDllSearch();
    ParseCommandLine();
    // The settings are final from here on: the run gets them as one record.
    const Config::RunSettings settings = Config::MakeRunSettings(TheInstallerConfig(), Utils::IsProcessSystemAccount());

    // Answered whatever else is given, also while another copy runs. A box would wait unseen
    // in a run nobody watches.
    if (settings.showHelp || settings.showVersion) {
        App::ShowToCaller(settings.showHelp ? App::HelpText() : App::VersionText() + L"\n",
            !settings.unattended && !settings.systemAccount);
        return Config::ExitCode::kInstalled;
    }

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        App::LogAnotherCopyRunning(settings); // shows nothing
        App::WriteResultFile(settings, Config::ExitCode::kAnotherCopyRunning);
        return Config::ExitCode::kAnotherCopyRunning;
    }
    int exitCode = App::StartRunLog(settings);
    App::InstallCrashDumps(settings.unattended);
    App::RunResult result;
    // Replaced at once by "the installer failed": a run that is killed or crashes leaves no
    // earlier run's result, and a file that cannot be replaced now (held open by someone, in
    // a folder that cannot be written) stops a quiet run before anything is done.
    if (exitCode == App::kGoOn && !App::WriteResultFile(settings, Config::ExitCode::kInternalFailure)
        && settings.unattended) {
        LOG(L"quiet: the result file cannot be written; nothing is done\r\n");
        exitCode = Config::ExitCode::kInvalidValue;
    }
    if (exitCode == App::kGoOn) {
        App::LogSignerPin(settings);
        App::LogUnusableOptions(settings);
        Session::SessionRun run(settings);
        run.SetBeforeSystemExit(
            [&](int code) { App::WriteResultFile(settings, code, App::SessionResult(run.Install())); });
        if (settings.uninstall) {
            exitCode = run.Finish(App::RunRemoval(run));
            LOG(L"%sexit code %d\r\n", settings.unattended ? L"quiet: " : L"", exitCode);
        } else if (settings.unattended) {
            exitCode = run.Finish(App::RunQuiet(run));
            LOG(L"quiet: exit code %d\r\n", exitCode);
        } else {
            RunMainWindow(run);
            exitCode = run.Finish(0);
        }
        result = App::SessionResult(run.Install());
    }

    App::WriteResultFile(settings, exitCode, std::move(result));
    App::EndRunLog();
    instance.Release();
    return exitCode;
}
