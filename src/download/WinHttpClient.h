#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "download/Downloader.h"
#include "download/ProxyResolver.h"
#include "download/WinHttpHandles.h"
#include "download/WorkerThreads.h"

namespace Download {
class RatePacer;
class WinHttpAsyncRequest;
} // namespace Download

// One HTTP request over the system stack: redirects followed under the shared policy, each
// host reached the way the proxy resolver decides (a session opened with that named proxy,
// or direct: the one form both Windows and Wine honour), the stall rule watched byte by
// byte, response headers, status, charset, cookies and redirect target recorded. The body
// goes to memory, or to a file when a save path is set.
class WinHttpClient {
public:
    // Bytes of the body so far and its whole length (0 when none was announced), both
    // counting the bytes a resumed transfer continues from.
    using ProgressFn = std::function<void(std::int64_t received, std::int64_t contentLength)>;

    explicit WinHttpClient(std::wstring url);
    ~WinHttpClient();
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // verb is GET or POST (any case). True when a response arrived and, for a 2xx answer,
    // its whole body was read; its status may be any.
    bool SendHttpRequest(const std::wstring& verb = L"GET");

    // With a save path the body of a 2xx response replaces the file's contents; other
    // statuses leave the file untouched.
    void SetSaveFilePath(std::wstring path) { m_savePath = std::move(path); }
    // With a save path: asks for the body from this byte on; a 206 from there is appended to
    // the file, any other 2xx replaces it.
    void SetResumeOffset(std::int64_t offset) noexcept { m_resumeOffset = offset; }
    // With a save path: the most bytes the file may come to. A body announced or sent past it,
    // or past its own Content-Length, ends the request with ERROR_FILE_TOO_LARGE.
    void SetBodyLimit(std::int64_t bytes) noexcept { m_bodyLimit = bytes; }
    // Where the saved body continued from: the resume offset, or 0 when it was replaced.
    std::int64_t GetResumedFrom() const noexcept { return m_resumedFrom; }
    // MD5 of the whole save file after a request that saved a 2xx body, taken while it was
    // written; "" when unknown.
    const std::string& GetSavedFileDigest() const noexcept { return m_savedDigest; }
    // The save file's stamp as the body's writer left it (see CDownloader); invalid when no
    // whole body was saved.
    const Utils::FileStamp& GetSavedFileStamp() const noexcept { return m_savedStamp; }
    void SetProgress(ProgressFn progress) { m_progress = std::move(progress); }
    // Ends the request within a fraction of a second once requested.
    void SetStopSignal(Download::StopSignal* stop) noexcept { m_stop = stop; }
    // With a save path: the body's reads are held to the pacer's rate (kept by the caller, so
    // the rate holds across requests); none by default.
    void SetRatePacer(Download::RatePacer* pacer) noexcept { m_pacer = pacer; }
    // With a save path: asked with the final URL before a 2xx body is saved; false ends the
    // request with ERROR_ACCESS_DENIED, the body unread.
    void SetAddressCheck(std::function<bool(const std::wstring& url)> check) { m_addressCheck = std::move(check); }
    // No byte for this long once the request is out ends it with ERROR_WINHTTP_TIMEOUT.
    void SetStallSeconds(long seconds) noexcept { m_stallSeconds = seconds; }
    // The response's headers may take this long from the request (never less than the stall
    // rule's time).
    void SetHeaderSeconds(long seconds) noexcept { m_headerSeconds = seconds; }
    // How each host is reached; without one, as the system's configuration says.
    void SetProxyResolver(std::shared_ptr<Download::ProxyResolver> resolver) { m_proxy = std::move(resolver); }
    // On by default: HTTPS requests fail on certificate errors.
    void SetRequireValidCertificate(bool require) noexcept { m_requireValidCertificate = require; }
    bool RequireValidCertificate() const noexcept { return m_requireValidCertificate; }
    void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
    void SetAdditionalRequestHeaders(std::wstring headers) { m_additionalHeaders = std::move(headers); }
    void SetRequestCookies(std::wstring cookies) { m_requestCookies = std::move(cookies); }
    void SetUserAgent(std::wstring userAgent) { m_userAgent = std::move(userAgent); }
    void SetForceCharset(bool force) noexcept { m_forceCharset = force; }
    void SetAdditionalDataToSend(std::vector<char> data) { m_dataToSend = std::move(data); }

    const std::wstring& GetResponseHeader() const noexcept { return m_responseHeader; }
    const std::wstring& GetResponseContent() const noexcept { return m_responseContent; }
    const std::vector<char>& GetRawResponseContent() const noexcept { return m_responseBuffer; }
    const std::wstring& GetResponseCharset() const noexcept { return m_responseCharset; }
    const std::wstring& GetResponseCookies() const noexcept { return m_responseCookies; }
    const std::wstring& GetResponseStatusCode() const noexcept { return m_statusCode; }
    const std::wstring& GetResponseLocation() const noexcept { return m_location; }
    // The answer's Retry-After as given, "" when none.
    const std::wstring& GetRetryAfter() const noexcept { return m_retryAfter; }
    // The URL the response came from, after redirects.
    const std::wstring& GetEffectiveUrl() const noexcept { return m_effectiveUrl; }
    std::int64_t GetContentLength() const noexcept { return m_contentLength; }
    DWORD GetLastError() const noexcept { return m_lastError; }

private:
    HINTERNET SessionFor(const std::wstring& proxy);
    // One URL through one proxy ("" direct): true with redirect set when the answer is a
    // redirect to follow. sent says whether the request got out at all (a proxy that
    // cannot be reached fails before).
    bool SendTo(const std::wstring& url, const std::wstring& verb, const std::wstring& proxy, std::wstring& redirect,
        bool& sent);
    bool AnswerProxyChallenge(HINTERNET request, const std::wstring& proxy);
    void ParseHeaders(HINTERNET request);
    bool ReadBody(Download::WinHttpAsyncRequest& request, bool isGet);
    // After a read of bytes: the pause the pacer asks for; false when a stop ended it.
    bool Pace(std::uint64_t bytes);
    std::uint64_t StallDeadline(std::uint64_t since) const noexcept;
    std::uint64_t HeaderDeadline(std::uint64_t since) const noexcept;
    void DecodeContent();

    std::map<std::wstring, Download::UniqueWinHttp> m_sessions; // per proxy, "" for direct
    std::shared_ptr<Download::ProxyResolver> m_proxy;
    Download::StopSignal* m_stop = nullptr;
    Download::RatePacer* m_pacer = nullptr;
    std::function<bool(const std::wstring& url)> m_addressCheck;
    long m_stallSeconds = Download::kStallSeconds;
    long m_headerSeconds = Download::kHeaderSeconds;
    bool m_requireValidCertificate = true;
    std::wstring m_requestUrl;
    std::wstring m_requestHost;
    std::wstring m_responseHeader;
    std::wstring m_responseContent;
    std::wstring m_responseCharset;
    std::vector<char> m_responseBuffer;
    std::int64_t m_contentLength = 0;
    bool m_hasContentLength = false;
    std::int64_t m_resumeOffset = 0;
    std::int64_t m_resumedFrom = 0;
    std::int64_t m_bodyLimit = INT64_MAX;
    std::string m_savedDigest;
    Utils::FileStamp m_savedStamp;
    ProgressFn m_progress;
    std::vector<char> m_dataToSend;
    std::wstring m_additionalHeaders;
    std::wstring m_requestCookies;
    std::wstring m_responseCookies;
    DWORD m_lastError = 0;
    std::wstring m_statusCode;
    std::wstring m_userAgent = L"WinHttpClient";
    bool m_forceCharset = false;
    std::wstring m_location;
    std::wstring m_retryAfter;
    std::wstring m_effectiveUrl;
    int m_resolveTimeout = 0;
    int m_connectTimeout = 60000;
    int m_sendTimeout = 30000;
    int m_receiveTimeout = 30000;
    std::wstring m_savePath;
};

// A redirect target made absolute against the URL it came from; "" when there is none.
std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location);

// Every capture of the pattern's first group in text, in order, leaving out captures equal
// (ignoring case) to one found before. A pattern that does not compile finds nothing (logged).
std::vector<std::wstring> FindAllMatches(const std::wstring& text, const std::wstring& pattern);

// What the client scans its headers and pages for. Named here so a test holds each to the
// matcher: one that no longer compiled would find nothing, and a body whose length is not
// found is not held to it.
namespace WinHttpScan {
inline constexpr const wchar_t* kCharset = L"charset=([A-Za-z0-9\\-_]+)";
inline constexpr const wchar_t* kContentLength = L"Content-Length: ([0-9]+)";
inline constexpr const wchar_t* kLocation = L"Location: (https?:[^\\n]+?\\n)";
inline constexpr const wchar_t* kSetCookie = L"Set-Cookie:[ \\t]*([^\\n]+?)\\n";
inline constexpr const wchar_t* kContentRangeStart = L"Content-Range: *bytes +([0-9]+)-";
inline constexpr const wchar_t* kPageOpen = L"(<html>)";
inline constexpr const wchar_t* kPageClose = L"(</html>)";
} // namespace WinHttpScan
