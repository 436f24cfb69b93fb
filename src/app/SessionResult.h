#pragma once

#include "app/ResultFile.h"

namespace Session {
class InstallSession;
}

namespace App {

// What the session knows at the run's end for the result file: the verdict it ended with,
// the folder, the version the package reported, whether a restart is needed, the package's
// exit status.
RunResult SessionResult(const Session::InstallSession& session);

} // namespace App
