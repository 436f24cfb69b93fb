#pragma once

#include <windows.h>

#include <string>

// An elevated run takes its install folder, log file and package arguments from the settings
// file beside it only when no one but an administrator could have put them there: a file a
// standard user dropped (into a Downloads folder, or a folder made under C:\) must not steer
// it.
namespace Config {

// Why the open settings file must not steer an elevated run (Utils::OpenEntryChangeableByOthers);
// empty when it may.
std::wstring UntrustedSettingsFile(HANDLE file);

// The process holds the Administrators group enabled (an elevated run).
bool RunsAsAdministrator();

} // namespace Config
