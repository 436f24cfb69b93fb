#pragma once

#include <windows.h>

#include <string>

// An elevated run takes its install folder, log file and package arguments from the settings
// file beside the installer only when no one but an administrator could have put them there:
// a file a standard user dropped (into a Downloads folder, or a folder made under C:\) must
// not steer it.
namespace Config {

// Why a settings file with this descriptor must not steer an elevated run: its owner is not
// Administrators, SYSTEM or TrustedInstaller, or its access list lets anyone else change it.
// Empty when it may.
std::wstring UntrustedSettingsReason(PSECURITY_DESCRIPTOR descriptor);

// The same for the open file. Wine keeps no access lists and makes one up for every file
// (owned by the user), so there the file is taken as it is.
std::wstring UntrustedSettingsFile(HANDLE file);

// The process holds the Administrators group enabled (an elevated run).
bool RunsAsAdministrator();

} // namespace Config
