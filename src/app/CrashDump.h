#pragma once

namespace App {

// From now on an exception nothing handles writes a minidump (the threads with their stacks
// and the module list, no other memory) next to the log file, or in the temporary folder when
// there is none, as "VellumoraInstaller-<version>-<time>.dmp", and names it in the log. A quiet
// (unattended) run then ends with code 1; a run with a window ends as the system ends a crashed program.
// Call once the log has started.
void InstallCrashDumps(bool unattended);

} // namespace App
