#pragma once

#include <windows.h>

#include <string_view>
#include <vector>

#include "utils/UniqueResource.h"

// Reads one pipe end opened for overlapped I/O, one read at a time. The kernel writes into
// the buffer until the read completes, so destruction cancels a pending read and waits for
// it before the buffer goes away.
class OverlappedPipeReader {
public:
    enum class Status { Data, Ended };

    // pipe stays owned by the caller and must outlive the reader.
    OverlappedPipeReader(HANDLE pipe, DWORD capacity);
    ~OverlappedPipeReader();
    OverlappedPipeReader(const OverlappedPipeReader&) = delete;
    OverlappedPipeReader& operator=(const OverlappedPipeReader&) = delete;

    // Issues a read unless one is pending or the pipe has ended; false when it has ended.
    bool Begin();
    // Signalled when the pending read has completed.
    HANDLE Event() const noexcept { return m_event.get(); }
    bool Pending() const noexcept { return m_pending; }
    bool Ended() const noexcept { return m_ended; }
    // Collects the completed read; data stays valid until the next Begin().
    Status Finish(std::string_view& data);

private:
    void Cancel() noexcept;

    HANDLE m_pipe;
    Utils::UniqueHandle m_event;
    OVERLAPPED m_overlapped {};
    std::vector<char> m_buffer;
    bool m_pending = false;
    bool m_ended = false;
};
