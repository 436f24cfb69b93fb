#pragma once

namespace Session {
class SessionRun;
}

namespace App {

// The one-click install without a window: the run's checks, stages and records, everything
// the window would have said in the log, and an exit code (Config::ExitCode) instead of
// prompts. Returns once the verdict is known; the run's owner then waits for its children.
int RunQuiet(Session::SessionRun& run);

} // namespace App
