#pragma once

#include <string>

#include "config/RunSettings.h"

namespace App {

// Opens the run's log file (Config::RunSettings::logFile: "-log=" or LogFile; without one, an
// unattended run's own file in the temporary folder) and logs the run's first lines: the
// installer's version, Windows, the command line and the settings in force. The debugger
// channel hears first where the file is. An unattended run whose chosen file is refused or
// cannot be opened ends here (false: refused as an unusable value); a window run goes on
// without the file.
bool StartRunLog(const Config::RunSettings& settings);

// Says which signature check is in force; a malformed pin is refused here, and every package
// and old uninstaller is refused while it stands.
void LogSignerPin(const Config::RunSettings& settings);

// Logs every unknown option and every unusable value (an unattended run refuses to go on with
// any: Session::InstallSession::CheckUnattendedSettings; a window run ignores them), and every
// settings-file key that no setting reads (which no run refuses).
void LogUnusableOptions(const Config::RunSettings& settings);

// Says why this copy ends with Config::ExitCode::kAnotherCopyRunning: on the debugger channel,
// and in the log file when "-log=" names one (appended, beside the running copy's lines).
void LogAnotherCopyRunning(const Config::RunSettings& settings);

// The open log file's path; empty when the run has none.
std::wstring RunLogPath();

// Closes the log file; every thread of the run has ended.
void EndRunLog();

} // namespace App
