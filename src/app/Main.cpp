#include <windows.h>

#include "app/CrashDump.h"
#include "app/DllSearch.h"
#include "app/RunLog.h"
#include "app/SingleInstance.h"
#include "config/ExitCodes.h"
#include "config/InstallerConfig.h"
#include "config/SignerPin.h"
#include "ui/CMainWnd.h"
#include "ui/QuietInstall.h"
#include "utils/Log.h"

namespace {

// The window's whole life: created, centred, run modally, destroyed (which stops and
// joins the pipeline and the network check).
void RunMainWindow()
{
    CMainWnd window;
    if (!window.Create(nullptr, L"Vellumora", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        LOG(L"main window not created: %s\r\n", window.GetLoadError().c_str());
        return;
    }
    window.CenterWindow();
    window.ShowModal();
}

// Says at start-up which signature check is in force; a malformed pin is refused here, and
// every package and old uninstaller is refused while it stands (the pipeline re-reads it).
void LogSignerPin()
{
    const InstallerConfig& config = TheInstallerConfig();
    if (!config.PackageSignerIgnored.empty()) {
        LOG(L"PackageSigner from %s ignored: the pin built into this installer is final\r\n",
            config.PackageSignerIgnored.c_str());
    }
    const Config::SignerPin pin = Config::ParseSignerPin(config.PackageSigner);
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

    Utils::SingleInstance instance(L"Installer_Vellumora");
    instance.Acquire();
    if (!instance.Held()) {
        return Config::ExitCode::kAnotherCopyRunning; // say nothing, show nothing
    }
    ParseCommandLine();
    int exitCode = App::StartRunLog(TheInstallerConfig());
    App::InstallCrashDumps();
    if (exitCode == App::kGoOn) {
        LogSignerPin();
        exitCode = App::CheckOptions(TheInstallerConfig());
    }
    if (exitCode == App::kGoOn) {
        exitCode = 0;
        if (TheInstallerConfig().Quiet) {
            QuietInstall quiet;
            exitCode = quiet.Run();
        } else {
            RunMainWindow();
        }
    }

    App::EndRunLog();
    instance.Release();
    return exitCode;
}
