#include <windows.h>

#include "app/CallerOutput.h"
#include "app/CrashDump.h"
#include "app/DllSearch.h"
#include "app/HelpText.h"
#include "app/QuietFace.h"
#include "app/RunLog.h"
#include "app/SingleInstance.h"
#include "app/ResultFile.h"
#include "app/SessionResult.h"
#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "install/AdminProbes.h"
#include "session/SessionRun.h"
#include "ui/CMainWnd.h"
#include "ui/RemovalWindowFace.h"
#include "utils/Log.h"

namespace {

// The face the run's kind shows, for the run's whole sequence.
int RunWithFace(Session::SessionRun& run)
{
    switch (run.Kind()) {
    case Session::RunKind::WindowInstall: {
        CMainWnd window(run);
        return run.Run(window);
    }
    case Session::RunKind::WindowRemoval: {
        RemovalWindowFace face;
        return run.Run(face);
    }
    case Session::RunKind::QuietInstall:
    case Session::RunKind::QuietRemoval:
    case Session::RunKind::Layout:
        break;
    }
    App::QuietFace face;
    return run.Run(face);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    App::RestrictDllSearch();
    ParseCommandLine();
    // The settings are final from here on: the run gets them as one record.
    const Config::RunSettings settings = Config::MakeRunSettings(TheInstallerConfig(), Utils::IsProcessSystemAccount());

    const Session::RunKind kind = Session::RunKindOf(settings);
    const auto exitCodeFor = [kind](Session::Verdict verdict) {
        return Session::RunExitCode(kind, Session::Outcome { verdict });
    };

    // Answered whatever else is given, also while another copy runs. A box would wait unseen
    // in a run nobody watches.
    if (settings.showHelp || settings.showVersion) {
        App::ShowToCaller(settings.showHelp ? App::HelpText() : App::VersionText() + L"\n",
            !settings.unattended && !settings.systemAccount);
        return exitCodeFor(Session::Verdict::Informed);
    }

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        App::LogAnotherCopyRunning(settings); // shows nothing
        const int code = exitCodeFor(Session::Verdict::AnotherCopyRunning);
        App::WriteResultFile(settings, code);
        return code;
    }
    const bool logReady = App::StartRunLog(settings);
    App::InstallCrashDumps(settings.unattended);
    int exitCode = 0;
    App::RunResult result;
    if (!logReady) {
        exitCode = exitCodeFor(Session::Verdict::InvalidValue);
    } else if (!App::WriteResultFile(settings, exitCodeFor(Session::Verdict::InternalFailure)) && settings.unattended) {
        // Replaced at once by "the installer failed": a run that is killed or crashes leaves
        // no earlier run's result, and a file that cannot be replaced now (held open by
        // someone, in a folder that cannot be written) stops a quiet run before anything is
        // done.
        LOG(L"quiet: the result file cannot be written; nothing is done\r\n");
        exitCode = exitCodeFor(Session::Verdict::InvalidValue);
    } else {
        App::LogSignerPin(settings);
        App::LogUnusableOptions(settings);
        Session::SessionRun run(settings);
        run.SetBeforeSystemExit(
            [&](int code) { App::WriteResultFile(settings, code, App::SessionResult(run.Install())); });
        exitCode = RunWithFace(run);
        result = App::SessionResult(run.Install());
    }

    App::WriteResultFile(settings, exitCode, std::move(result));
    App::EndRunLog();
    instance.Release();
    return exitCode;
}
