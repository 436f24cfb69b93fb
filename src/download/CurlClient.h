#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "download/BusyServer.h"
#include "download/CurlHandles.h"
#include "download/Downloader.h"
#include "download/ProxyResolver.h"
#include "download/CurlStallCheck.h"

// Consumer of the client's progress: (owner, bytes per second, reserved 0.0, percent).
using ClientProgressFn = void (*)(void* owner, double speed, double reserved, double percent);

// Downloads one URL into one file with libcurl: HEAD probes for the effective URL and the
// length, the body into "<file>.part" (resumed when it already holds data), renamed to the
// file after a complete transfer. Start blocks; call it again after a failure to resume.
class CurlClient {
public:
    CurlClient(std::wstring url, std::wstring filePath, void* owner, ClientProgressFn progress);
    ~CurlClient();
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // 0 on success, a libcurl result, or -999 (past the announced length, the maximum
    // package size or the drive's reserve), -996 (part file), -997 (handle), -998 (no length
    // of at least 1 MiB), -995 (the final address lacks the MD5 the rules require).
    int Start();

    std::wstring GetFilePath(bool part) const;

    // A HEAD request following redirects; the handle is returned for reading its results.
    Download::UniqueCurl Head(const std::string& url);
    // Length from a finished HEAD, or -1.0 when the status is not 2xx/3xx.
    double GetDownloadFileLength(CURL* handle);
    // Its own HEAD: the announced length whatever the status, or -1.0.
    double GetDownloadFileLength_Str(const std::string& url);
    // Its own HEAD: the effective URL, or url when none was obtained.
    std::string GetRealUrl_Str(const std::string& url);

    // Aborts the transfer in progress (and the probes) as soon as libcurl calls back.
    void RequestStop() noexcept { m_stop = true; }

    const std::string& RealUrl() const noexcept { return m_realUrl; }
    double TotalLength() const noexcept { return m_totalLength; }
    std::int64_t ResumeOffset() const noexcept { return m_resumeOffset; }
    const std::wstring& ErrorText() const noexcept { return m_errorText; }
    // The HTTP status of the last answer of the last Start (0: none), and its Retry-After in
    // seconds (-1: none).
    long LastStatus() const noexcept { return m_status; }
    long RetryAfterSeconds() const noexcept { return m_retryAfter; }
    // MD5 of the file after a successful Start, taken while it was written; "" when unknown.
    const std::string& FileDigest() const noexcept { return m_fileDigest; }
    // The package file's stamp as the last transfer's writer left it (see CDownloader).
    const Utils::FileStamp& WrittenStamp() const noexcept { return m_writtenStamp; }

    // The stall rule's time for every request of the next Start.
    void SetStallSeconds(long seconds) noexcept { m_stallSeconds = seconds; }
    void SetHeaderSeconds(long seconds) noexcept { m_headerSeconds = seconds; }
    // How every request of the next Start reaches its host; the system's way by default.
    void SetProxyResolver(std::shared_ptr<Download::ProxyResolver> resolver) { m_proxy = std::move(resolver); }
    // The maximum package size, the drive's reserve, the MD5 a final address must carry and
    // the rate limit (the defaults unless set).
    void SetPackageRules(const Download::PackageRules& rules) { m_rules = rules; }

private:
    // Called from inside libcurl, C code built without unwind tables: nothing may throw out.
    static int ProgressCallback(void* client, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t uploadTotal,
        curl_off_t uploadNow) noexcept;
    // Probes: the stop and the stall rule only.
    static int StopCallback(void* client, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept;
    static size_t WriteToFile(char* data, size_t size, size_t count, void* file) noexcept;
    // Probes are watched for a stop and the stall rule, like the transfer.
    CURLcode SetProbeChecks(CURL* handle);
    bool MustAbort(curl_off_t received);
    void Probe(const std::string& url);
    void NoteAnswer(CURL* handle);
    int Transfer(const std::wstring& partPath);

    std::wstring m_url;
    std::wstring m_filePath;
    void* m_owner;
    Download::CurlStallCheck m_check; // the transfer or probe in progress
    ClientProgressFn m_progress;
    double m_totalLength = -1.0;
    std::int64_t m_resumeOffset = -1;
    std::uint64_t m_lastReportTick = 0;
    std::atomic<bool> m_stop { false };
    std::wstring m_errorText;
    long m_status = 0;
    long m_retryAfter = -1;
    Download::CurlRetryAfter m_retryAfterHeader; // of the request in progress
    std::string m_realUrl;
    std::string m_fileDigest;
    Utils::FileStamp m_writtenStamp;
    long m_stallSeconds = Download::kStallSeconds;
    long m_headerSeconds = Download::kHeaderSeconds;
    std::shared_ptr<Download::ProxyResolver> m_proxy;
    Download::PackageRules m_rules;
};

// libcurl write function of HEAD requests: keeps nothing.
size_t DiscardBody(char* data, size_t size, size_t count, void* unused) noexcept;
