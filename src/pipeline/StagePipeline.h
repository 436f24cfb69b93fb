#pragma once

#include <windows.h>

#include <functional>

#include "pipeline/InstallPlan.h"

namespace Pipeline {

// What the session asks of the stages: a plan to apply, a stop, and whether a child still
// runs. Its events come back through the sink it was made with. The download-and-install
// pipeline is the one the program uses; the session's tests put a stand-in in its place.
class StagePipeline {
public:
    virtual ~StagePipeline() = default;

    // Runs on the stage's own thread before the old uninstaller and before the package
    // start (it is handed the stop event to watch); a failure code ends that stage with its
    // failure event and the code, 0 lets it start.
    using StartGate = std::function<int(HANDLE stopEvent)>;
    virtual void SetStartGate(StartGate gate) = 0;
    virtual void SetParams(const InstallPlan& plan) = 0;
    virtual void Start() = 0;
    // Final: every stage is stopped and joined; no event follows.
    virtual void Stop() = 0;
    // Waits up to timeoutMs for the package's and the old uninstaller's run to end; true
    // when neither runs.
    virtual bool WaitForChildRuns(DWORD timeoutMs) const = 0;
};

} // namespace Pipeline
