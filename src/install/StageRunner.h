#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "install/StageCallback.h"
#include "utils/Thread.h"
#include "utils/UniqueResource.h"

// The run mechanics a child-process stage shares: one worker thread at a time, a stop
// request the run watches, and events that stop once a stop was requested.
class StageRunner {
public:
    explicit StageRunner(StageCallback callback);
    // Stops a run that is still going and waits for its thread.
    ~StageRunner();
    StageRunner(const StageRunner&) = delete;
    StageRunner& operator=(const StageRunner&) = delete;

    // Waits for an earlier run's thread to end (without stopping it).
    void JoinPrevious();
    // Waits for an earlier run's thread, then runs body on a new thread named threadName.
    // Never call it (or Stop) from the run itself: it would wait for its own thread.
    void Start(const wchar_t* threadName, std::function<void()> body);
    void Stop();
    // Waits up to timeoutMs for the current run to end; true when no run is going.
    bool WaitForRun(DWORD timeoutMs) const;

    HANDLE StopEvent() const noexcept { return m_stopEvent.get(); }
    bool StopRequested() const;
    // Passes an event on, unless a stop was requested: the owner is going away or over.
    void Raise(int code, double progress, const std::wstring& message) const;

private:
    StageCallback m_callback;
    std::function<void()> m_body;
    Utils::UniqueHandle m_stopEvent;
    std::unique_ptr<Utils::Thread> m_thread;
};
