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
        break;
    }
    App::QuietFace face;
    return run.Run(face);
}

// Says at start-up which signature check is in force; a malformed pin is refused here, and
// every package and old uninstaller is refused while it stands.
void LogSignerPin(const InstallerConfig& config, const Config::SignerPin& pin)
{
    if (!config.PackageSignerIgnored.empty()) {
        LOG(L"PackageSigner from %s ignored: the pin built into this installer is final\r\n",
            config.PackageSignerIgnored.c_str());
    }
    switch (pin.state) {
    case Config::SignerPin::State::Off:
        LOG(L"PackageSigner: none; packages are not signature-checked\r\n");
        break;
    case Config::SignerPin::State::Pinned:
        LOG(L"PackageSigner: %u thumbprint(s) pinned%s; packages must be signed by them\r\n",
            static_cast<unsigned>(pin.thumbprints.size()), config.PackageSignerBuiltIn ? L" at build time" : L"");
        break;
    case Config::SignerPin::State::Unreadable:
        LOG(L"PackageSigner refused, the value is malformed: %s. No package or old uninstaller will be run\r\n",
            pin.problem.c_str());
        break;
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    App::RestrictDllSearch();
    ParseCommandLine();
    // The settings are final from here on: the run gets them as one record.
    const InstallerConfig& config = TheInstallerConfig();
    const bool systemAccount = Utils::IsProcessSystemAccount();
    const Config::RunSettings settings = Config::MakeRunSettings(config, systemAccount);

    const Session::RunKind kind = Session::RunKindOf(settings);
    const auto exitCodeFor = [kind](Session::Verdict verdict) {
        return Session::RunExitCode(kind, Session::Outcome { verdict });
    };

    // Answered whatever else is given, also while another copy runs. A box would wait unseen
    // in a run nobody watches.
    if (config.ShowHelp || config.ShowVersion) {
        App::ShowToCaller(
            config.ShowHelp ? App::HelpText() : App::VersionText() + L"\n", !settings.unattended && !systemAccount);
        return exitCodeFor(Session::Verdict::Informed);
    }

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        App::LogAnotherCopyRunning(config); // shows nothing
        const int code = exitCodeFor(Session::Verdict::AnotherCopyRunning);
        App::WriteResultFile(settings, code);
        return code;
    }
    const bool logReady = App::StartRunLog(config, settings.unattended) == App::kGoOn;
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
        LogSignerPin(config, settings.signerPin);
        App::LogUnusableOptions(config);
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
