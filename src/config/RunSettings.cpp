#include "config/RunSettings.h"

#include "config/LayoutFolder.h"
#include "config/LogFilePath.h"
#include "config/OptionTable.h"
#include "config/PackageTimeLimit.h"
#include "config/SettingsReport.h"
#include "utils/FileSystem.h"
#include "utils/Redact.h"

namespace Config {
namespace {

// The temporary folder with a name of this run's own.
std::wstring OwnLogPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    return std::wstring(temp) + DefaultLogFileName(now, ::GetCurrentProcessId());
}

std::wstring ValueRefused(const std::wstring& given, const wchar_t* accepted)
{
    return L"value refused: '" + Utils::RedactUrlsInText(HidePassword(given)) + L"' (" + accepted + L")";
}

// Every value in force that cannot be used, in table order: one the parser refused, then one
// a row's own check refuses.
std::vector<UnusableValue> UnusableValues(const InstallerConfig& config, const RunSettings& settings)
{
    std::vector<UnusableValue> unusable;
    if (const auto file = config.InvalidValues.find(L"SettingsFile"); file != config.InvalidValues.end()) {
        unusable.push_back({ file->first,
            ValueRefused(file->second,
                L"the settings file must be readable and at most 1 MiB; its settings are not "
                L"in force") });
    }
    for (const OptionRow& row : OptionTable()) {
        if (const auto given = config.InvalidValues.find(row.name); given != config.InvalidValues.end()) {
            unusable.push_back({ row.name, ValueRefused(given->second, row.accepted ? row.accepted : L"unusable") });
        } else if (row.problem) {
            if (std::wstring line = row.problem(config, settings); !line.empty()) {
                // A refused value quotes its source itself; a row's own check names it here.
                if (config.FromPolicy.count(row.name)) {
                    line += L" (the machine policy's value)";
                }
                unusable.push_back({ row.name, std::move(line) });
            }
        }
    }
    return unusable;
}

} // namespace

RunSettings MakeRunSettings(const InstallerConfig& config, bool systemAccount)
{
    RunSettings settings;
    settings.systemAccount = systemAccount;
    settings.downloadUrl = config.DownloadUrl;
    settings.mirrorUrls = config.MirrorUrls;
    // "-packagefile=" is the one source: no address is asked.
    if (!config.PackageFile.empty()) {
        settings.downloadUrl = config.PackageFile;
        settings.mirrorUrls.clear();
    }
    settings.downloadType = config.DownloadType;
    settings.limitRateBytes = std::int64_t { config.LimitRate } * 1024;
    settings.proxy = ParseProxySetting(config.Proxy);
    settings.signerPin = ParseSignerPin(config.PackageSigner);
    settings.signerPinBuiltIn = config.PackageSignerBuiltIn;
    settings.signerPinIgnored = config.PackageSignerIgnored;
    settings.allowUnverifiedPackage = config.AllowUnverifiedPackage;
    settings.maxPackageBytes = std::int64_t { config.MaxPackageSize } * 1024 * 1024;
    settings.packageTimeLimitMs = PackageTimeLimitMs(config);
    settings.packageArguments = config.InstCmd;
    settings.logPackageArguments = config.LogInstCmd;
    settings.downloadScale = config.DownloadScale;
    settings.checkNetwork = config.IsCheckNet;
    settings.insNew = config.InsNew;
    settings.quiet = config.Quiet;
    settings.launch = config.Launch;
    settings.allowDowngrade = config.AllowDowngrade;
    settings.languageIndex = config.LanguageIndex;
    settings.installDir = config.InstallDir;
    settings.scope = ChooseInstallScope(config.Scope, config.Quiet, systemAccount);
    settings.uninstall = config.Uninstall;
    settings.resultFile = config.ResultFile;
    settings.shortcuts = config.Shortcuts;
    settings.showHelp = config.ShowHelp;
    settings.showVersion = config.ShowVersion;

    const std::wstring installerFolder = Utils::ModuleDirectory();
    if (!config.LogFile.empty()) {
        LogFilePath log = ResolveLogFilePath(config.LogFile, installerFolder);
        settings.logFile = std::move(log.path);
        settings.logFileProblem = std::move(log.problem);
    }
    if (config.Layout) {
        settings.layout = true;
        LogFilePath layout = ResolveLayoutFolder(*config.Layout, installerFolder);
        settings.layoutFolder = std::move(layout.path);
        settings.layoutProblem = std::move(layout.problem);
        if (settings.layoutProblem.empty() && config.Uninstall) {
            settings.layoutProblem = L"a layout removes nothing: it cannot go with -uninstall=true";
            settings.layoutFolder.clear();
        }
    }
    if (!config.ResultFile.empty()) {
        LogFilePath result = CheckResultFile(config.ResultFile, installerFolder);
        settings.resultFilePath = std::move(result.path);
        settings.resultFileProblem = std::move(result.problem);
    }

    settings.unknownOptions = config.UnknownOptions;
    settings.unknownSettingsKeys = config.UnknownSettingsKeys;
    settings.settingsFileIgnored = config.SettingsFileIgnored;
    settings.unusable = UnusableValues(config, settings);
    // As the system account (a deployment tool), a window would wait unseen until killed: an
    // unknown option or any unusable value there ("/S", "/quiet", "-launch=yes", a malformed
    // proxy) is refused like quiet mode's own, and a removal asks no question nobody can answer.
    // A layout is made without a window, whoever runs it.
    settings.unattended = config.Quiet || config.InvalidValues.count(L"Quiet") != 0 || settings.layout
        || (systemAccount && (!settings.unknownOptions.empty() || !settings.unusable.empty() || config.Uninstall));
    if (settings.unattended && config.LogFile.empty()) {
        settings.logFile = OwnLogPath();
        settings.ownLogFile = true;
    }
    settings.settingsForLog = DescribeSettings(config, settings);
    return settings;
}

} // namespace Config
