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
