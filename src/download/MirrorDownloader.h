#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/Downloader.h"
#include "download/WorkerThreads.h"

// Fetches the package from the first of several addresses that delivers it: each address
// through a downloader of its own, made by the same factory (so the same redirect policy,
// proxy decision and checks), the next one started when one fails for good. Forwards the
// events as one download: a start, progress that never moves back, the retry requests of
// the address in use, and a failure only when every address has failed.
class MirrorDownloader : public CDownloader {
public:
    using Factory = std::function<std::unique_ptr<CDownloader>(
        const std::wstring& url, const Download::DownloaderCallback& callback)>;

    MirrorDownloader(Factory make, std::vector<std::wstring> urls, Download::DownloaderCallback callback);
    ~MirrorDownloader() override;

    void Start() override;
    bool Stop() override;
    void SetStallSeconds(long seconds) override { m_stallSeconds = seconds; }
    void SetRetryPause(unsigned milliseconds) override { m_retryPauseMs = milliseconds; }
    void SetHeaderSeconds(long seconds) override { m_headerSeconds = seconds; }
    // The digest the address in use matched, so the held package is checked again whichever
    // address delivered it.
    std::string CheckedDigest() const override;
    std::wstring DeliveredName() const override;
    Utils::FileStamp WrittenStamp() const override;

private:
    void OnEvent(std::size_t index, int code, double value, const std::wstring& message);
    // On a thread of its own: the failed downloader is joined there, not on its own thread.
    static unsigned SwitchThread(void* self);
    std::unique_ptr<CDownloader> Make(std::size_t index);

    Factory m_make;
    std::vector<std::wstring> m_urls;
    Download::DownloaderCallback m_callback;
    long m_stallSeconds = 0;
    long m_headerSeconds = 0;
    unsigned m_retryPauseMs = 0;
    mutable std::mutex m_mutex;
    std::shared_ptr<CDownloader> m_current; // under m_mutex
    std::size_t m_index = 0; // of the address in use, under m_mutex
    double m_progress = 0.0; // the highest reported, under m_mutex
    bool m_started = false; // the start event went out, under m_mutex
    Download::StopSignal m_stop;
    Download::WorkerThreads m_threads;
};

namespace Download {
// The host (and port) of a URL, without credentials, path or query: what a log line names.
std::wstring UrlHost(const std::wstring& url);
} // namespace Download
