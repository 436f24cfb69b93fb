#pragma once

#include <windows.h>

#include <winhttp.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "download/WinHttpHandles.h"
#include "download/WorkerThreads.h"

namespace Download {

// One request on an asynchronous WinHTTP session, driven as if it were synchronous: each
// call waits for its completion, but gives up at a deadline or a stop. A blocked
// synchronous call cannot be ended from outside under Wine (closing its handle does not
// return it), so this is how a stall or a stop ends a transfer at once. What WinHTTP may
// still write to after that (the completion record, the read buffer) is shared with its
// callback until it reports the handle closed.
class WinHttpAsyncRequest {
public:
    // Installs the completion callback every request of the session relies on.
    static bool PrepareSession(HINTERNET session);

    explicit WinHttpAsyncRequest(const StopSignal* stop);
    ~WinHttpAsyncRequest();
    WinHttpAsyncRequest(const WinHttpAsyncRequest&) = delete;
    WinHttpAsyncRequest& operator=(const WinHttpAsyncRequest&) = delete;

    // False with Error() set when the request cannot be made.
    bool Open(HINTERNET connection, const std::wstring& verb, const std::wstring& path, bool secure);
    HINTERNET Handle() const noexcept { return m_handle.get(); }

    // Each waits for the call to complete until deadline (a GetTickCount64 value, 0 for
    // none). False with Error() set: the system's error, ERROR_WINHTTP_TIMEOUT when the
    // deadline passed, ERROR_WINHTTP_OPERATION_CANCELLED when stopped. After a timeout or
    // a stop the request is closed and every further call fails the same way.
    bool Send(std::vector<char> body, std::uint64_t deadline);
    bool ReceiveResponse(std::uint64_t deadline);
    // available is 0 at the end of the body.
    bool QueryDataAvailable(DWORD& available, std::uint64_t deadline);
    // got is 0 at the end of the body. The bytes stay valid until the next read into the last
    // slot, which this one uses.
    bool Read(DWORD wanted, const char*& data, DWORD& got, std::uint64_t deadline);
    // A read in two halves, so the caller can work while it runs; no other call in between.
    // The bytes stay valid until the next read into the same slot (0 to kReadSlots - 2 are
    // free for this).
    static constexpr int kReadSlots = 3;
    bool StartRead(DWORD wanted, int slot);
    bool FinishRead(const char*& data, DWORD& got, std::uint64_t deadline);

    DWORD Error() const noexcept { return m_error; }

private:
    struct Completion;
    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    bool Started(BOOL called);
    bool Wait(DWORD expected, std::uint64_t deadline);
    void Close();

    const StopSignal* m_stop;
    UniqueWinHttp m_handle;
    DWORD_PTR m_context = 0;
    std::shared_ptr<Completion> m_completion;
    int m_readSlot = 0;
    DWORD m_readWanted = 0;
    DWORD m_error = 0;
};

} // namespace Download
