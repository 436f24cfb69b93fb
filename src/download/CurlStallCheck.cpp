#include "download/CurlStallCheck.h"

#include <windows.h>

#include "utils/Log.h"

namespace Download {
namespace {

// Whether the request has gone out (connecting is over): time to pretransfer is known.
bool RequestSent(CURL* handle)
{
    curl_off_t pretransfer = 0;
    return ::curl_easy_getinfo(handle, CURLINFO_PRETRANSFER_TIME_T, &pretransfer) == CURLE_OK && pretransfer > 0;
}

// Whether the response's status line is in: libcurl clears the code for every request,
// redirects followed by hand included.
bool Answered(CURL* handle)
{
    long status = 0;
    return ::curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status > 0;
}

} // namespace

void CurlStallCheck::Begin(CURL* handle, long seconds, long headerSeconds)
{
    m_handle = handle;
    m_seconds = seconds;
    m_headerSeconds = headerSeconds;
    m_stalled = false;
    m_watch.Restart(seconds, headerSeconds);
}

bool CurlStallCheck::Stalled(curl_off_t received)
{
    if (m_handle && m_watch.Stalled(received, RequestSent(m_handle), Answered(m_handle), ::GetTickCount64())) {
        m_stalled = true;
    }
    return m_stalled;
}

CURLcode CurlStallCheck::End(CURLcode result)
{
    CURL* handle = m_handle;
    m_handle = nullptr;
    if (result == CURLE_ABORTED_BY_CALLBACK && m_stalled) {
        if (Answered(handle)) {
            LOG(L"transfer stalled: no byte for %ld s\r\n", m_seconds);
        } else {
            LOG(L"transfer stalled: no answer for %ld s\r\n", m_headerSeconds);
        }
        return CURLE_OPERATION_TIMEDOUT;
    }
    return result;
}

} // namespace Download
