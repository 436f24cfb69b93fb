#include "install/StageRunner.h"

StageRunner::StageRunner(StageCallback callback)
    : m_callback(std::move(callback))
    , m_stopEvent(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

StageRunner::~StageRunner()
{
    Stop();
}

void StageRunner::JoinPrevious()
{
    if (m_thread) {
        m_thread->Join();
    }
}

void StageRunner::Start(const wchar_t* threadName, std::function<void()> body)
{
    JoinPrevious();
    m_body = std::move(body);
    ::ResetEvent(m_stopEvent.get());
    Utils::StartOwnedThread(m_thread, this, threadName, [](void* self) -> unsigned {
        static_cast<StageRunner*>(self)->m_body();
        return 0;
    });
}

void StageRunner::Stop()
{
    if (m_thread) {
        ::SetEvent(m_stopEvent.get());
        m_thread->Join();
    }
}

bool StageRunner::WaitForRun(DWORD timeoutMs) const
{
    return !m_thread || !m_thread->Handle() || ::WaitForSingleObject(m_thread->Handle(), timeoutMs) == WAIT_OBJECT_0;
}

bool StageRunner::StopRequested() const
{
    return ::WaitForSingleObject(m_stopEvent.get(), 0) == WAIT_OBJECT_0;
}

void StageRunner::Raise(int code, double progress, const std::wstring& message) const
{
    if (m_callback && !StopRequested()) {
        m_callback(code, progress, message);
    }
}
