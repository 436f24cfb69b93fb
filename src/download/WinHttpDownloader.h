#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "download/Downloader.h"
#include "download/WorkerThreads.h"

class WinHttpClient;

// Fetches the package with one GET over the system HTTP stack and reports like the libcurl
// downloaders: start, progress, and success only for a complete 2xx body that passes the
// MD5 from the URL.
class WinHttpDownloader : public CDownloader {
public:
    WinHttpDownloader(const Download::DownloaderCallback& callback, const std::wstring& url,
        const std::wstring& localPath, Config::ProxySetting proxy = {});
    ~WinHttpDownloader() override;

    void Start() override;
    bool Stop() override;

private:
    static unsigned RunThread(void* downloader);
    void Run();
    void Report(int code, double value, const std::wstring& message);
    void OnBody(std::int64_t received, std::int64_t contentLength);

    Download::DownloaderCallback m_callback;
    std::wstring m_localPath;
    std::wstring m_url;
    Config::ProxySetting m_proxySetting;
    bool m_retried = false;
    std::uint64_t m_lastReportTick = 0;
    std::atomic<bool> m_stopRequested { false };
    std::mutex m_clientMutex;
    WinHttpClient* m_client = nullptr; // the run's client while it exists, for Stop
    Download::WorkerThreads m_threads;
};
