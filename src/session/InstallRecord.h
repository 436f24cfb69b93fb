#pragma once

#include <string>

// Records a finished installation under the product's registry key: its folder, and its
// uninstaller (the one the package reported, else folder\uninst.ep) when that file exists.
void RecordInstallation(const std::wstring& installFolder, const std::wstring& reportedUninstaller);

// The small state files: set.ini in the install folder (who installed, a fresh device id,
// where the analytics file is) and TKSensorsAnalytics.ini in the user's data folder.
// Errors are ignored: nothing here may stop an installation.
void WriteStateFiles(const std::wstring& installFolder, const std::wstring& installerFileName);

// The user's data folder for the analytics file: APPDATA (or the shared documents folder)
// + "\TarvikData\TarvikQuill".
std::wstring AnalyticsFolder();

// The installation a previous run recorded: its folder and uninstaller (the recorded one,
// else folder\uninst.ep); present when the folder is named and exists.
struct ExistingInstallation {
    std::wstring folder;
    std::wstring uninstaller;
    bool present = false;
};
ExistingInstallation ReadExistingInstallation();

// The installer's own file name with its extension, as set.ini records it.
std::wstring InstallerFileName();

// A path or address as a package reported it. Packages that end their lines with "\r\n"
// leave the carriage return in the value; no path ends in one, and recording it would lose
// the installation for the next run.
std::wstring ReportedPathValue(const std::wstring& value);
