#pragma once

#include <string>

#include "download/CurlClient.h"
#include "download/DownloadVerdict.h"
#include "download/Downloader.h"
#include "download/WorkerThreads.h"

// The default downloader: one resumable libcurl stream with a retry budget, the MD5 from
// the URL checked, one retry request (1005) per object.
class CCurlDownloader : public CDownloader {
public:
    CCurlDownloader(const Download::DownloaderCallback& callback, const std::wstring& url,
        const std::wstring& localPath, Config::ProxySetting proxy = {}, Download::PackageRules rules = {});
    ~CCurlDownloader() override;

    void Start() override;
    bool Stop() override;

    static void OnClientProgress(void* owner, double speed, double reserved, double percent);

    void SetStallSeconds(long seconds) override { m_client.SetStallSeconds(seconds); }
    void SetHeaderSeconds(long seconds) override { m_client.SetHeaderSeconds(seconds); }
    // Pause between attempts (500 ms unless a test shortens it).
    void SetRetryPause(unsigned milliseconds) override { m_retryPauseMs = milliseconds; }
    CurlClient& Client() noexcept { return m_client; }
    Utils::FileStamp WrittenStamp() const override { return m_client.WrittenStamp(); }

private:
    static unsigned dlThreadFun(void* downloader);
    void Report(int code, double value, const std::wstring& message);

    Download::DownloaderCallback m_callback;
    std::wstring m_localPath;
    std::wstring m_url;
    CurlClient m_client;
    Config::ProxySetting m_proxySetting;
    Download::DownloadVerdict m_verdict;
    unsigned m_retryPauseMs = 500;
    Download::StopSignal m_stop;
    Download::WorkerThreads m_threads;
};
