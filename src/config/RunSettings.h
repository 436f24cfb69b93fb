#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/InstallScope.h"
#include "config/InstallerConfig.h"
#include "config/ProxySetting.h"
#include "config/SignerPin.h"

namespace Config {

// A value in force that cannot be used: an unattended run refuses to go on with any.
struct UnusableValue {
    std::wstring name; // the option's row (OptionRow::name): "Quiet", "Proxy"
    // The log's words for it, which never quote a password: "value refused: '-quiet=yes'
    // (only true or false)", "-installdir='x' refused, it is not a full path".
    std::wstring logLine;
};

// The settings of one run, parsed and checked once at start-up from the process record
// and handed down as one record; after it is made nothing reads the process record.
// A new setting is a field here and a row of Config::OptionTable.
struct RunSettings {
    // The process runs as the system account (a deployment tool): probed once by the entry point.
    bool systemAccount = false;

    // Where the package comes from and how it is fetched.
    std::wstring downloadUrl;
    // "MirrorUrls": tried in order after downloadUrl (Config::PackageUrls).
    std::wstring mirrorUrls;
    int downloadType = 1;
    // "LimitRate" in bytes per second, every downloader held to it on average; 0: no limit.
    std::int64_t limitRateBytes = 0;
    ProxySetting proxy;
    // Which signers a package (and an old uninstaller) must be signed by.
    SignerPin signerPin;
    bool signerPinBuiltIn = false; // the build carries the pin
    std::wstring signerPinIgnored; // where a pin was given and ignored: "the settings file"
    // "AllowUnverifiedPackage": a package without an MD5 in its final address may run unpinned.
    bool allowUnverifiedPackage = false;
    // "MaxPackageSize" in bytes: the most a download writes for the package.
    std::int64_t maxPackageBytes = std::int64_t { 4096 } * 1024 * 1024;
    // The bound on the package's and an old uninstaller's run in ms; 0: none.
    ULONGLONG packageTimeLimitMs = 0;
    // Extra arguments for the package's command line.
    std::wstring packageArguments;
    bool logPackageArguments = false; // "LogInstCmd": the log may show them
    double downloadScale = 0.7;
    bool checkNetwork = false;

    // An updater started us while the product may be open: wait for it instead of refusing.
    bool insNew = false;
    // No window: the exit code tells the result.
    bool quiet = false;
    // Nobody answers a prompt: a quiet run, one whose "-quiet=" value is unusable, and any run
    // as the system account that has an unknown option, an unusable value or "-uninstall=true".
    bool unattended = false;
    // Quiet mode starts the product after the install.
    bool launch = false;
    // A package older than the recorded installed version is installed all the same.
    bool allowDowngrade = false;
    // The "-language" index; -1: the system's language.
    int languageIndex = -1;
    // "-installdir=": the folder of a quiet install; absent: the default.
    std::optional<std::wstring> installDir;
    // Whose installation this run makes, changes or removes.
    InstallScope scope = InstallScope::User;
    // "-uninstall=true": remove the recorded installation instead of installing.
    bool uninstall = false;
    // "-layout=": fetch and check the package, then write it, a copy of the installer and a
    // settings file into layoutFolder (its full path; empty when layoutProblem says why not).
    bool layout = false;
    std::wstring layoutFolder;
    std::wstring layoutProblem;
    // "-resultfile=": the result file's path as given; empty: none.
    std::wstring resultFile;
    // Its full path, and why it cannot be written there (checked once, at start-up).
    std::wstring resultFilePath;
    std::wstring resultFileProblem;
    // "-shortcuts=": the package's "-dsc"/"-ssc" in quiet mode.
    ShortcutChoice shortcuts;
    // The log file: "-log=" resolved, else an unattended run's own new file in the temporary
    // folder (ownLogFile); empty: none. logFileProblem: why "-log=" was refused.
    std::wstring logFile;
    std::wstring logFileProblem;
    bool ownLogFile = false;
    // "-help" or "/?", "-version": print and exit, whatever else is given.
    bool showHelp = false;
    bool showVersion = false;

    // The log's settings line: every setting in force, secrets hidden, a machine policy's marked.
    std::wstring settingsForLog;
    // What the settings held that cannot be used: unknown options (an unattended run refuses
    // them), unusable values in table order, and settings-file keys nobody reads (logged only).
    std::vector<std::wstring> unknownOptions;
    std::vector<UnusableValue> unusable;
    std::vector<std::wstring> unknownSettingsKeys;
    // Why the settings file was left unread (InstallerConfig::SettingsFileIgnored); logged.
    std::wstring settingsFileIgnored;
};

// systemAccount: the process runs as the system account (the default scope, and whether a run
// with an unknown option or an unusable value is unattended, depend on it).
RunSettings MakeRunSettings(const InstallerConfig& config, bool systemAccount = false);

} // namespace Config
