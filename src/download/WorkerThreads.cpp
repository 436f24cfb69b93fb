#include "download/WorkerThreads.h"

#include <chrono>

#include "utils/Log.h"

namespace Download {

WorkerThreads::~WorkerThreads()
{
    if (!JoinAllButCaller()) {
        // Only a bug in an owner gets here: it destroyed itself from its own thread.
        LOG(L"a worker thread destroyed its own owner\r\n");
    }
}

bool WorkerThreads::Launch(void* argument, const std::wstring& name, Utils::Thread::Job job)
{
    auto thread = std::make_unique<Utils::Thread>(argument, name, std::move(job));
    if (!thread->Handle()) {
        return false;
    }
    // Resumed before it is listed, so a join never waits on a thread still suspended. It is
    // listed before the launching thread can end, and that one is itself listed or is the
    // owner, so a join still finds it.
    thread->Resume();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.push_back(std::move(thread));
    return true;
}

bool WorkerThreads::JoinAllButCaller()
{
    const DWORD self = ::GetCurrentThreadId();
    bool callerIsMember = false;
    for (;;) {
        std::vector<std::unique_ptr<Utils::Thread>> taken;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto& thread : m_threads) {
                // An ended thread whose id the system gave to the caller is not the caller.
                if (thread->Id() == self && ::WaitForSingleObject(thread->Handle(), 0) == WAIT_TIMEOUT) {
                    callerIsMember = true;
                } else {
                    taken.push_back(std::move(thread));
                }
            }
            std::erase(m_threads, nullptr);
        }
        if (taken.empty()) {
            return !callerIsMember;
        }
        for (auto& thread : taken) {
            thread->Join();
        }
    }
}

void StopSignal::Request()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
}

bool StopSignal::RunUnlessRequested(const std::function<void()>& start)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop) {
        return false;
    }
    start();
    return true;
}

bool StopSignal::WaitFor(unsigned milliseconds)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_stop.load(); });
}

} // namespace Download
