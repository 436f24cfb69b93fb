#pragma once

namespace Session {
class SessionRun;
}

namespace App {

// "-uninstall=true": removes the installation found (the account's record first, then the
// machine's) through its own uninstaller, as an update removes an old version, then its
// record. Quiet mode asks nothing and logs what happens; a window run asks first and then
// says the result in a message box. Returns the exit code (Config::ExitCode) once the
// verdict is known; the run's owner then waits for the uninstaller to end.
int RunRemoval(Session::SessionRun& run);

} // namespace App
