#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "utils/UniqueResource.h"

namespace Utils {

// A worker thread created suspended, named for debuggers, logging its begin and end.
// The owner resumes it after storing the wrapper and joins it before starting another
// job or going away. The job's return value is ignored: the thread exits with 0.
class Thread {
public:
    using Job = std::function<unsigned(void*)>;

    Thread(void* argument, std::wstring name, Job job);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Resumes the suspended thread; false when no thread exists.
    bool Resume();
    // Waits for the thread without a time limit and releases it; a second call does nothing.
    // Never call it from the thread itself.
    void Join();

    HANDLE Handle() const noexcept { return m_handle.get(); }
    DWORD Id() const noexcept { return m_id; }
    const std::wstring& Name() const noexcept { return m_name; }

private:
    static unsigned __stdcall CallBack(void* self);

    DWORD m_id = static_cast<DWORD>(-1);
    UniqueHandle m_handle;
    Job m_job;
    void* m_argument = nullptr;
    std::wstring m_name;
};

// The owner pattern in one call: join and free the previous thread held in slot, then
// create, store and resume a new one.
void StartOwnedThread(std::unique_ptr<Thread>& slot, void* argument, std::wstring name, Thread::Job job);

// Names a thread for debuggers (the 0x406D1388 convention, swallowed when no debugger
// takes it) and, where the system has it, through SetThreadDescription.
void SetThreadNameForDebugger(HANDLE thread, DWORD threadId, const std::wstring& name);

} // namespace Utils
