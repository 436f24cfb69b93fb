#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "config/InstallScope.h"

namespace Config {

inline constexpr wchar_t kSettingsFileName[] = L"TarvikInstallerConfig.ini";
inline constexpr wchar_t kSettingsSection[] = L"Install";

// The maker's redirect endpoint and the built-in package address on it.
std::wstring RedirectEndpoint();
std::wstring BuiltInDownloadUrl();
// The signer pin baked in at build time (-DVLM_PACKAGE_SIGNER=...); empty by default.
// Defined alone in BuiltInSigner.cpp.
std::wstring BuiltInPackageSigner();

} // namespace Config

// The process-wide settings: built-in defaults, then the settings file beside the
// executable, then the command line, then the machine policy (Config::ApplyPolicy). Written on
// the main thread during start-up only.
struct InstallerConfig {
    std::wstring DlAppNameSuffix = L".downloader";
    std::wstring m_DlAppVersion;
    std::wstring InstCmd;
    // The log shows InstCmd's text only when the settings file asks for it (it may carry
    // keys or accounts); otherwise its length.
    bool LogInstCmd = false;
    std::wstring DownloadUrl;
    // Further addresses of the package, ";"-separated, tried in order after DownloadUrl
    // (Config::PackageUrls); each must carry DownloadUrl's MD5.
    std::wstring MirrorUrls;
    int DownloadType = 1;
    // KiB per second every download is held to on average; 0: no limit.
    int LimitRate = 0;
    bool IsCheckNet = false;
    bool IsEnableAppSensors = true;
    double DownloadScale = 0.7;
    int LanguageIndex = -1;
    bool InsNew = false;
    // SHA-256 thumbprints of the signers a package must be signed by (Config::ParseSignerPin);
    // empty: no signature check.
    std::wstring PackageSigner;
    // The build carries a pin: the settings file and the command line cannot change it, and
    // where they tried is noted for the start-up log ("the settings file and the command line").
    bool PackageSignerBuiltIn = false;
    std::wstring PackageSignerIgnored;
    // A package whose final address carries no MD5 may run without a pinned signer: only for
    // a network trusted not to redirect the request.
    bool AllowUnverifiedPackage = false;
    // The most MiB a download may write for the package.
    int MaxPackageSize = 4096;
    // "-packagefile=": the package is read from this file instead of DownloadUrl and its
    // mirrors; empty: from DownloadUrl.
    std::wstring PackageFile;
    // "-layout=": the package is fetched, checked and written into this folder with a copy of
    // the installer and a settings file that points at it; nothing is installed.
    std::optional<std::wstring> Layout;
    // Quiet mode: no window at all; the exit code (Config::ExitCode) says what happened.
    bool Quiet = false;
    // The folder of a quiet install; absent: the default folder. Given but unusable (empty,
    // relative, forbidden characters) is refused before anything is done.
    std::optional<std::wstring> InstallDir;
    // Quiet mode starts the product after the install only when asked to.
    bool Launch = false;
    // A package older than the installed version may replace it ("-allowdowngrade=true").
    bool AllowDowngrade = false;
    // Proxy for every download (Config::ParseProxySetting): empty for the system's own.
    std::wstring Proxy;
    // Every log line also goes to this file (Config::ResolveLogPath). Empty: none, except
    // a quiet run's own file in the temporary folder.
    std::wstring LogFile;
    // Minutes the package, and an old version's uninstaller, may run; 0: no bound.
    int PackageTimeout = 0;
    // "-scope=": whose installation this is; absent: Config::ChooseInstallScope decides.
    std::optional<Config::InstallScope> Scope;
    // "-uninstall=true": remove the recorded installation instead of installing.
    bool Uninstall = false;
    // "-resultfile=": where the run's result is written as JSON at its end; empty: nowhere.
    std::wstring ResultFile;
    // "-shortcuts=": the shortcuts a quiet install asks the package for.
    Config::ShortcutChoice Shortcuts;
    // "-help" or "/?", "-version": print and exit, whatever else is given.
    bool ShowHelp = false;
    bool ShowVersion = false;

    // What the settings held that cannot be used, for the log and for quiet mode, which
    // refuses to run with any of it: the names of unknown command-line options, and values
    // that must be exact ("Quiet", "Launch", "PackageTimeout") with the text as given.
    std::vector<std::wstring> UnknownOptions;
    std::map<std::wstring, std::wstring> InvalidValues;
    // Keys of the settings file's section that no setting reads (logged by name).
    std::vector<std::wstring> UnknownSettingsKeys;
    // The settings (their rows' names) whose value in force a machine policy set, for the log's
    // settings line and its refusals.
    std::set<std::wstring> FromPolicy;
    // Why an elevated run left the settings file beside it unread (Config::UntrustedSettingsFile),
    // kept for the log, which does not exist yet when the file is read; empty when it was read.
    std::wstring SettingsFileIgnored;
};

// The one record of this process, filled from the defaults and the settings file before
// the entry point runs.
InstallerConfig& TheInstallerConfig();

// Fills the process record with the defaults and the settings file beside the executable.
void LoadInstallerConfig();
// Lets the process command line, then the machine policy, override the record.
void ParseCommandLine();

// The layers on their own, for whoever holds another record.
InstallerConfig DefaultInstallerConfig();
// elevated: the file is read only when Config::UntrustedSettingsFile finds no reason against it.
void ApplySettingsFile(InstallerConfig& config, const std::wstring& iniPath, bool elevated = false);
void ApplyCommandLine(InstallerConfig& config, const std::wstring& commandLine);
