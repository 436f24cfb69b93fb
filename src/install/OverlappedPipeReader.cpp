#include "install/OverlappedPipeReader.h"

OverlappedPipeReader::OverlappedPipeReader(HANDLE pipe, DWORD capacity)
    : m_pipe(pipe)
    , m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    , m_buffer(capacity)
{
    m_ended = !m_event || m_pipe == nullptr || m_pipe == INVALID_HANDLE_VALUE;
}

OverlappedPipeReader::~OverlappedPipeReader()
{
    Cancel();
}

bool OverlappedPipeReader::Begin()
{
    if (m_ended) {
        return false;
    }
    if (m_pending) {
        return true;
    }
    m_overlapped = OVERLAPPED {};
    m_overlapped.hEvent = m_event.get();
    ::ResetEvent(m_event.get());
    // A read that completes at once also signals the event, so both paths end in Finish.
    if (::ReadFile(m_pipe, m_buffer.data(), static_cast<DWORD>(m_buffer.size()), nullptr, &m_overlapped)
        || ::GetLastError() == ERROR_IO_PENDING) {
        m_pending = true;
        return true;
    }
    m_ended = true;
    return false;
}

OverlappedPipeReader::Status OverlappedPipeReader::Finish(std::string_view& data)
{
    data = {};
    if (!m_pending) {
        return m_ended ? Status::Ended : Status::Data;
    }
    DWORD bytes = 0;
    const BOOL ok = ::GetOverlappedResult(m_pipe, &m_overlapped, &bytes, TRUE);
    m_pending = false;
    if (!ok && ::GetLastError() != ERROR_MORE_DATA) {
        // Broken pipe: every writer has closed its end.
        m_ended = true;
        return Status::Ended;
    }
    data = std::string_view(m_buffer.data(), bytes);
    return Status::Data;
}

void OverlappedPipeReader::Cancel() noexcept
{
    if (!m_pending) {
        return;
    }
    ::CancelIoEx(m_pipe, &m_overlapped);
    DWORD bytes = 0;
    ::GetOverlappedResult(m_pipe, &m_overlapped, &bytes, TRUE);
    m_pending = false;
}
