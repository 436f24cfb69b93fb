#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "config/ProxySetting.h"
#include "download/WinHttpHandles.h"

// One HTTP request over the system stack: up to three attempts, the user's proxy settings
// as a fallback when sending fails, response headers, status, charset, cookies and redirect
// target recorded. The body goes to memory, or to a file when a save path is set.
class WinHttpClient {
public:
    // Bytes of the body received so far in this attempt, and the announced length (0 when
    // none was announced).
    using ProgressFn = std::function<void(std::int64_t received, std::int64_t contentLength)>;

    explicit WinHttpClient(std::wstring url);
    ~WinHttpClient();
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // verb is GET or POST (any case). True when a response arrived; its status may be any.
    bool SendHttpRequest(const std::wstring& verb = L"GET");

    // With a save path the body of a 2xx response replaces the file's contents; other
    // statuses leave the file untouched.
    void SetSaveFilePath(std::wstring path) { m_savePath = std::move(path); }
    void SetProgress(ProgressFn progress) { m_progress = std::move(progress); }
    // Set from another thread to end the request between two blocks.
    void SetStopFlag(const std::atomic<bool>* stop) noexcept { m_stop = stop; }
    // From another thread: closes the request in progress so a blocked send or read returns.
    void Cancel();
    // On by default: HTTPS requests fail on certificate errors.
    void SetRequireValidCertificate(bool require) noexcept { m_requireValidCertificate = require; }
    bool RequireValidCertificate() const noexcept { return m_requireValidCertificate; }
    void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
    void SetAdditionalRequestHeaders(std::wstring headers) { m_additionalHeaders = std::move(headers); }
    void SetRequestCookies(std::wstring cookies) { m_requestCookies = std::move(cookies); }
    void SetProxy(std::wstring proxy, std::wstring userName = L"", std::wstring password = L"");
    // The installer's proxy setting: its named proxy or none for the whole session (set before
    // the first request); the system's own way, with the fallback above, when it is System.
    void SetProxySetting(Config::ProxySetting setting) { m_proxySetting = std::move(setting); }
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
    // The URL the response came from, after redirects.
    const std::wstring& GetEffectiveUrl() const noexcept { return m_effectiveUrl; }
    std::int64_t GetContentLength() const noexcept { return m_contentLength; }
    DWORD GetLastError() const noexcept { return m_lastError; }

private:
    bool EnsureSession();
    // One URL: true with redirect set when the answer is a redirect to follow.
    bool SendTo(const std::wstring& url, const std::wstring& verb, std::wstring& redirect);
    bool SendWithProxyFallback(HINTERNET request, const std::wstring& url);
    bool ApplyNamedProxy(HINTERNET request);
    bool SystemProxy() const noexcept;
    bool AnswerProxyChallenge(HINTERNET request);
    void ParseHeaders(HINTERNET request);
    bool ReadBody(HINTERNET request, bool isGet);
    bool Stopped() const noexcept { return m_stop && m_stop->load(); }
    void DecodeContent();

    Download::UniqueWinHttp m_session;
    std::atomic<HINTERNET> m_activeRequest { nullptr };
    bool m_requireValidCertificate = true;
    std::wstring m_requestUrl;
    std::wstring m_requestHost;
    std::wstring m_responseHeader;
    std::wstring m_responseContent;
    std::wstring m_responseCharset;
    std::vector<char> m_responseBuffer;
    std::int64_t m_contentLength = 0;
    bool m_hasContentLength = false;
    ProgressFn m_progress;
    const std::atomic<bool>* m_stop = nullptr;
    std::wstring m_proxy;
    std::wstring m_proxyUserName;
    std::wstring m_proxyPassword;
    Config::ProxySetting m_proxySetting;
    std::vector<char> m_dataToSend;
    std::wstring m_additionalHeaders;
    std::wstring m_requestCookies;
    std::wstring m_responseCookies;
    DWORD m_lastError = 0;
    std::wstring m_statusCode;
    std::wstring m_userAgent = L"WinHttpClient";
    bool m_forceCharset = false;
    std::wstring m_location;
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
// (ignoring case) to one found before.
std::vector<std::wstring> FindAllMatches(const std::wstring& text, const std::wstring& pattern);
