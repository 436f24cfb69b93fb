#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config/InstallScope.h"
#include "config/InstallerConfig.h"
#include "config/ProxySetting.h"
#include "config/SignerPin.h"

namespace Config {

// The settings of one run, parsed and checked once at start-up from the process record
// and handed down from the session as arguments; nothing below the session reads the
// process record. A new setting is a field here and a line in MakeRunSettings.
struct RunSettings {
    // Where the package comes from and how it is fetched.
    std::wstring downloadUrl;
    // "MirrorUrls": tried in order after downloadUrl (Config::PackageUrls).
    std::wstring mirrorUrls;
    int downloadType = 1;
    ProxySetting proxy;
    std::wstring proxyText; // as given, for the refusal's log line
    // Which signers a package (and an old uninstaller) must be signed by.
    SignerPin signerPin;
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
    // A quiet run, one whose "-quiet=" value is unusable, or one as the system account with an
    // unknown option or "-uninstall=true": nobody answers a prompt.
    bool unattended = false;
    // Quiet mode starts the product after the install.
    bool launch = false;
    // The "-language" index; -1: the system's language.
    int languageIndex = -1;
    // "-installdir=": the folder of a quiet install; absent: the default.
    std::optional<std::wstring> installDir;
    // Whose installation this run makes, changes or removes.
    InstallScope scope = InstallScope::User;
    // "-uninstall=true": remove the recorded installation instead of installing.
    bool uninstall = false;
    // "-resultfile=": the result file's path as given; empty: none.
    std::wstring resultFile;
    // "-shortcuts=": the package's "-dsc"/"-ssc" in quiet mode.
    ShortcutChoice shortcuts;

    // What the settings held that cannot be used (an unattended run refuses to go on).
    std::vector<std::wstring> unknownOptions;
    std::map<std::wstring, std::wstring> invalidValues;
};

// systemAccount: the process runs as the system account (the default scope, and whether a run
// with an unknown option is unattended, depend on it).
RunSettings MakeRunSettings(const InstallerConfig& config, bool systemAccount = false);

} // namespace Config
