#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <vector>

#include "download/Downloader.h"
#include "support/http_server/HttpTestServer.h"

namespace DownloadTests {

struct Event {
    int code = 0;
    double value = 0.0;
    std::wstring message;
    DWORD threadId = 0;
    std::uint64_t tick = 0;
};

// Collects a downloader's events from whatever thread delivers them. An optional reaction
// runs inside the callback, as the pipeline's handler would (e.g. Start again on 1005).
class EventRecorder {
public:
    Download::DownloaderCallback Callback();
    void SetReaction(std::function<void(const Event&)> reaction);

    // Waits until an event with code has arrived count times.
    bool WaitForCode(int code, DWORD timeoutMs, int count = 1) const;
    // Waits until a run has ended for good: 1003 or 1004.
    bool WaitForEnd(DWORD timeoutMs) const;

    std::vector<Event> Events() const;
    std::vector<int> Codes() const; // without the 1002 progress events
    std::vector<Event> OfCode(int code) const;

private:
    int CountLocked(int code) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Event> m_events;
    std::function<void(const Event&)> m_reaction;
};

// A fault that applies to GET requests only (HEAD probes stay healthy).
inline TestSupport::HttpFault GetFault()
{
    TestSupport::HttpFault fault;
    fault.method = "GET";
    return fault;
}

// Expected event codes, in the form EventRecorder::Codes gives them.
inline std::vector<int> Codes(std::initializer_list<int> codes)
{
    return std::vector<int>(codes);
}

// Restarts the downloader from inside its 1005 report, as the pipeline does.
void RestartOnRetry(EventRecorder& recorder, CDownloader& downloader);

} // namespace DownloadTests
