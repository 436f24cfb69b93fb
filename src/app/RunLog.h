#pragma once

#include "config/InstallerConfig.h"

namespace App {

// What the start-up steps below return when the run goes on.
inline constexpr int kGoOn = -2;

// A quiet run, or one whose "-quiet=" value is neither true nor false (which must not
// open a window on a machine nobody watches either).
bool IsUnattended(const InstallerConfig& config);

// Opens the log file the run asks for ("-log=" or LogFile; without one, a quiet run's own
// file in the temporary folder) and logs the run's first lines: the installer's version,
// Windows, the command line and the settings in force. The debugger channel hears first
// where the file is. A quiet run whose chosen file cannot be opened ends here with
// Config::ExitCode::kInvalidValue; a window run goes on without the file.
int StartRunLog(const InstallerConfig& config);

// Logs every unknown option and every refused value. Quiet mode runs with none of them:
// then it ends here with Config::ExitCode::kInvalidValue; a window run ignores them.
int CheckOptions(const InstallerConfig& config);

// Closes the log file; every thread of the run has ended.
void EndRunLog();

} // namespace App
