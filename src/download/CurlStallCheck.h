#pragma once

#include <curl/curl.h>

#include "download/StallWatch.h"

namespace Download {

// The stall rule on one libcurl request: Begin before it is performed, Stalled from its
// progress calls (true: abort it), End after it: an abort for a stall becomes
// CURLE_OPERATION_TIMEDOUT, with a log line.
class CurlStallCheck {
public:
    void Begin(CURL* handle, long seconds, long headerSeconds);
    bool Stalled(curl_off_t received);
    CURLcode End(CURLcode result);
    // The request being watched, between Begin and End.
    CURL* Handle() const noexcept { return m_handle; }

private:
    CURL* m_handle = nullptr;
    StallWatch m_watch;
    long m_seconds = 0;
    long m_headerSeconds = 0;
    bool m_stalled = false;
};

} // namespace Download
