#pragma once

#include <string>

#include "config/InstallerConfig.h"

namespace App {

// What the start-up steps below return when the run goes on.
inline constexpr int kGoOn = -2;

// Opens the log file the run asks for ("-log=" or LogFile; without one, a quiet run's own
// file in the temporary folder) and logs the run's first lines: the installer's version,
// Windows, the command line and the settings in force. The debugger channel hears first
// where the file is. A quiet run whose chosen file cannot be opened ends here with
// Config::ExitCode::kInvalidValue; a window run goes on without the file.
// unattended: Config::RunSettings::unattended.
int StartRunLog(const InstallerConfig& config, bool unattended);

// Logs every unknown option and every refused value (quiet mode refuses to run with any of
// them: Session::InstallSession::CheckUnattendedSettings; a window run ignores them), and every
// settings-file key that no setting reads (which no run refuses).
void LogUnusableOptions(const InstallerConfig& config);

// Says why this copy ends with Config::ExitCode::kAnotherCopyRunning: on the debugger channel,
// and in the log file when "-log=" names one (appended, beside the running copy's lines).
void LogAnotherCopyRunning(const InstallerConfig& config);

// The open log file's path; empty when the run has none.
std::wstring RunLogPath();

// Closes the log file; every thread of the run has ended.
void EndRunLog();

} // namespace App
