#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/DownloadVerdict.h"
#include "download/Downloader.h"
#include "download/ProxyResolver.h"
#include "download/RatePacer.h"
#include "download/WorkerThreads.h"

// Fetches the package over the system HTTP stack and reports like the libcurl downloaders:
// start, progress, and success only for a complete 2xx body that passes the MD5 from the
// URL. A failed attempt is retried and resumed from "<local path>.part" with the single-
// stream downloader's budget.
class WinHttpDownloader : public CDownloader {
public:
    WinHttpDownloader(const Download::DownloaderCallback& callback, const std::wstring& url,
        const std::wstring& localPath, Config::ProxySetting proxy = {}, Download::PackageRules rules = {});
    ~WinHttpDownloader() override;

    void Start() override;
    bool Stop() override;
    void SetStallSeconds(long seconds) override { m_stallSeconds = seconds; }
    void SetHeaderSeconds(long seconds) override { m_headerSeconds = seconds; }
    // Pause between attempts (500 ms unless a test shortens it).
    void SetRetryPause(unsigned milliseconds) override { m_retryPauseMs = milliseconds; }

private:
    static unsigned RunThread(void* downloader);
    void Run();
    // One attempt, resumed from the part file: 0 for a whole 2xx body, else why not; digest
    // is the part file's MD5 when it was taken on the way.
    // retryAfter: the answer's Retry-After in seconds, -1 for none.
    DWORD Attempt(
        const std::wstring& partPath, int& status, long& retryAfter, std::wstring& effectiveUrl, std::string& digest);
    void Report(int code, double value, const std::wstring& message);
    void OnBody(std::int64_t received, std::int64_t contentLength);

    Download::DownloaderCallback m_callback;
    std::wstring m_localPath;
    std::wstring m_url;
    Config::ProxySetting m_proxySetting;
    // Made anew for every run, so a changed system configuration counts on the retry.
    std::shared_ptr<Download::ProxyResolver> m_proxy;
    Download::DownloadVerdict m_verdict;
    Download::PackageRules m_rules;
    // The rate limit's pacer, one for every attempt of the object; none without a limit.
    std::unique_ptr<Download::RatePacer> m_pacer;
    bool m_addressRefused = false; // the last attempt's final address lacks the required MD5
    long m_stallSeconds = Download::kStallSeconds;
    long m_headerSeconds = Download::kHeaderSeconds;
    unsigned m_retryPauseMs = 500;
    std::uint64_t m_lastReportTick = 0;
    Download::StopSignal m_stop;
    Download::WorkerThreads m_threads;
};
