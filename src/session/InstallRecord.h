#pragma once

#include <string>

#include "config/InstallScope.h"
#include "utils/Registry.h"

// The registry record of a scope: HKCU for the account's own installation, HKLM (32-bit
// view) for the machine's.
Utils::RecordRoot RecordRootOf(Config::InstallScope scope);

// What a finished installation records under the product's key.
struct InstallationRecord {
    std::wstring folder;
    std::wstring reportedUninstaller; // empty: folder\uninst.ep
    std::wstring version; // the package's "InstallVersion="; empty: none reported
};
// Records it in the scope's record: its folder, its uninstaller when that file exists, and
// its version; a version left by an earlier installation is removed when none is reported,
// so the record never claims a version that is not installed. False when a value could not
// be written.
bool RecordInstallation(Config::InstallScope scope, const InstallationRecord& record);

// Removes what RecordInstallation writes from the scope's record, and the key once nothing
// else is in it. True when the values are gone.
bool RemoveInstallationRecord(Config::InstallScope scope);

// The small state files: set.ini in the install folder (who installed, a fresh device id,
// where the analytics file is) and TKSensorsAnalytics.ini in the user's data folder.
// Errors are ignored: nothing here may stop an installation.
void WriteStateFiles(const std::wstring& installFolder, const std::wstring& installerFileName);

// The user's data folder for the analytics file: APPDATA + "\TarvikData\TarvikQuill"; empty
// without APPDATA (never a shared folder).
std::wstring AnalyticsFolder();

// The installation a previous run recorded: its folder and uninstaller (the recorded one,
// else folder\uninst.ep); present when the folder is named and exists.
struct ExistingInstallation {
    std::wstring folder;
    std::wstring uninstaller;
    bool present = false;
    Config::InstallScope scope = Config::InstallScope::User; // the record it was found in
    std::wstring version; // its recorded "InstallVersion"; empty: none
    // Found in the account's record: the folder of the machine record's present installation,
    // if there is one (it is another installation, unless the folders are the same).
    std::wstring machineFolder;
};
// The account's record when it names an installation that is present, else the machine's
// when that one does; otherwise the account's record as it is (present false).
ExistingInstallation ReadExistingInstallation();

// Where an installation is recorded: where it was found, so that an update never makes a
// second copy; but the system account's own record, where an earlier deployment put it and no
// user's run ever looks, moves to the machine's when the run's scope is the machine.
Config::InstallScope ScopeToRecord(
    const ExistingInstallation& existing, Config::InstallScope runScope, bool systemAccount);

// The installer's own file name with its extension, as set.ini records it.
std::wstring InstallerFileName();

// A path or address as a package reported it. Packages that end their lines with "\r\n"
// leave the carriage return in the value; no path ends in one, and recording it would lose
// the installation for the next run.
std::wstring ReportedPathValue(const std::wstring& value);
