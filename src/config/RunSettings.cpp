#include "config/RunSettings.h"

#include "config/PackageTimeLimit.h"

namespace Config {

RunSettings MakeRunSettings(const InstallerConfig& config, bool systemAccount)
{
    RunSettings settings;
    settings.downloadUrl = config.DownloadUrl;
    settings.mirrorUrls = config.MirrorUrls;
    settings.downloadType = config.DownloadType;
    settings.proxy = ParseProxySetting(config.Proxy);
    settings.proxyText = config.Proxy;
    settings.signerPin = ParseSignerPin(config.PackageSigner);
    settings.packageTimeLimitMs = PackageTimeLimitMs(config);
    settings.packageArguments = config.InstCmd;
    settings.logPackageArguments = config.LogInstCmd;
    settings.downloadScale = config.DownloadScale;
    settings.checkNetwork = config.IsCheckNet;
    settings.insNew = config.InsNew;
    settings.quiet = config.Quiet;
    // As the system account (a deployment tool), a window would wait unseen until killed: an
    // unknown option or an unusable value there ("/S", "/quiet", "-launch=yes") is refused like
    // quiet mode's own, and a removal asks no question nobody can answer.
    settings.unattended = config.Quiet || config.InvalidValues.count(L"Quiet") != 0
        || (systemAccount && (!config.UnknownOptions.empty() || !config.InvalidValues.empty() || config.Uninstall));
    settings.launch = config.Launch;
    settings.languageIndex = config.LanguageIndex;
    settings.installDir = config.InstallDir;
    settings.scope = ChooseInstallScope(config.Scope, config.Quiet, systemAccount);
    settings.uninstall = config.Uninstall;
    settings.resultFile = config.ResultFile;
    settings.shortcuts = config.Shortcuts;
    settings.unknownOptions = config.UnknownOptions;
    settings.invalidValues = config.InvalidValues;
    return settings;
}

} // namespace Config
