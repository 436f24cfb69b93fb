#pragma once

#include <cstdint>
#include <string>

#include "download/DownloadVerdict.h"
#include "download/Downloader.h"
#include "download/WorkerThreads.h"

// Reads the package from a file (an offline layout's, a share's) for every download type.
// The file is copied to the local path under a download's custody (written through a handle
// that shares no writing, its stamp sealed before that handle closes, renamed into place) and
// checked the same way: against the MD5 its folder is named by (Config::PathMd5), or by the
// rule for a package without one. Its events are a download's: start, progress, then success
// or failure, with one retry request per object.
class LocalFileDownloader : public CDownloader {
public:
    LocalFileDownloader(const Download::DownloaderCallback& callback, std::wstring sourcePath,
        const std::wstring& localPath, Download::PackageRules rules = {});
    ~LocalFileDownloader() override;

    void Start() override;
    bool Stop() override;
    // Nothing stalls or is asked again here.
    void SetStallSeconds(long) override { }
    void SetRetryPause(unsigned) override { }
    void SetHeaderSeconds(long) override { }

private:
    static unsigned RunThread(void* downloader);
    void Run();
    // The copy into partPath, its MD5 in digest; ERROR_SUCCESS or why not (ERROR_FILE_TOO_LARGE:
    // past the package's bounds, which no second copy changes).
    DWORD Copy(const std::wstring& partPath, std::string& digest);
    void OnCopied(std::int64_t copied, std::int64_t size);
    void Report(int code, double value, const std::wstring& message);

    Download::DownloaderCallback m_callback;
    std::wstring m_source;
    std::wstring m_localPath;
    Download::PackageRules m_rules;
    Download::DownloadVerdict m_verdict;
    std::uint64_t m_lastReportTick = 0;
    Download::StopSignal m_stop;
    Download::WorkerThreads m_threads;
};
