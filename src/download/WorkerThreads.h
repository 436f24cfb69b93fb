#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "utils/Thread.h"

namespace Download {

// Every thread a downloader starts, joined before the next run and before the downloader
// goes away. A thread may ask to join the group it belongs to (a restart from inside an
// event it delivers): it is then kept back and joined by whoever joins next.
class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Creates, stores and resumes a thread; false when it could not be created.
    bool Launch(void* argument, const std::wstring& name, Utils::Thread::Job job);

    // Joins every thread except the calling one, including threads launched while this
    // runs. True when no other thread of the group is left and the caller is not one of
    // them.
    bool JoinAllButCaller();

private:
    mutable std::mutex m_mutex;
    std::vector<std::unique_ptr<Utils::Thread>> m_threads;
};

// A stop request that also cuts short the pauses between attempts. It is final: nothing
// clears it, so a restart racing with a stop (a retry started from an event) cannot undo it.
class StopSignal {
public:
    void Request();
    bool Requested() const noexcept { return m_stop.load(); }
    // Sleeps up to milliseconds; true when stopped meanwhile.
    bool WaitFor(unsigned milliseconds);
    // Runs start unless a stop was asked for, and keeps Request waiting while it runs, so
    // whatever start launches is there for the stop to find. False when it did not run.
    bool RunUnlessRequested(const std::function<void()>& start);

private:
    std::atomic<bool> m_stop { false };
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace Download
