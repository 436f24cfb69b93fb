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

    // Answered whatever else is given, also while another copy runs. A box would wait unseen
    // in a run nobody watches.
    if (config.ShowHelp || config.ShowVersion) {
        App::ShowToCaller(
            config.ShowHelp ? App::HelpText() : App::VersionText() + L"\n", !settings.unattended && !systemAccount);
        return Config::ExitCode::kInstalled;
    }

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        App::LogAnotherCopyRunning(config); // shows nothing
        App::WriteResultFile(settings, Config::ExitCode::kAnotherCopyRunning);
        return Config::ExitCode::kAnotherCopyRunning;
    }
    int exitCode = App::StartRunLog(config, settings.unattended);
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
        LogSignerPin(config, settings.signerPin);
        App::LogUnusableOptions(config);
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
