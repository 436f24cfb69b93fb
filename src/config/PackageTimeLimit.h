#pragma once

#include <windows.h>

#include "config/InstallerConfig.h"

namespace Config {

// The bound on the package's run (and an old version's uninstaller's) in milliseconds, from
// PackageTimeout; 0 for none.
ULONGLONG PackageTimeLimitMs(const InstallerConfig& config);

// The project's own tests count PackageTimeout in seconds, so that a run of theirs takes
// seconds: the environment variable VLM_TEST_PACKAGETIMEOUT_IN_SECONDS=1. It can only
// shorten a bound that is set, and the log says when it is in force.
bool PackageTimeoutCountsSeconds();

} // namespace Config
