#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/BackgroundMd5.h"
#include "download/BusyServer.h"
#include "download/CurlHandles.h"
#include "download/DownloadVerdict.h"
#include "download/Downloader.h"
#include "download/ProxyResolver.h"
#include "download/SegmentPlan.h"
#include "download/CurlStallCheck.h"
#include "download/WorkerThreads.h"
#include "utils/FileStamp.h"
#include "utils/UniqueFile.h"

class CMTCurlDownloader;

// One byte range of a segmented download, fetched into its own part file.
struct DownloadPartNode {
    CMTCurlDownloader* owner = nullptr;
    Utils::UniqueFile file; // open for appending while the range is incomplete
    std::int64_t start = 0; // absolute offset of the next byte to fetch
    std::int64_t end = 0; // absolute offset of the range's last byte
    Download::UniqueCurl easy; // reused by every attempt of this range
    std::string url;
    std::wstring partPath;
    std::atomic<int> status { -1 }; // 0 complete, -1 to fetch, -2 no part file, else libcurl's result
    std::atomic<std::int64_t> received { 0 }; // bytes of this range in its part file
    bool responseChecked = false; // per attempt: the status line was looked at
    long httpStatus = 0; // per attempt: the answer's status, 0 for none
    long retryAfter = -1; // per attempt: its Retry-After in seconds, -1 for none
    Download::CurlRetryAfter retryAfterHeader; // per attempt
    Download::CurlStallCheck stall; // per attempt
    std::int64_t maxBytesPerSecond = 0; // its share of the rate limit; 0: none
    Download::BackgroundMd5* digest = nullptr; // fed with what the first range writes, in order
    Utils::FileStamp closedStamp; // its part file as the range's writer left it complete
    bool running = false; // its thread has not ended; under the owner's active-segment mutex
};

// Fetches the package in up to two parallel ranges, joins them, checks the MD5 from the
// URL. Part files of ranges that progressed survive a failed run, so the owner's restart
// after 1005 continues them.
class CMTCurlDownloader : public CDownloader {
public:
    CMTCurlDownloader(const Download::DownloaderCallback& callback, const std::wstring& url,
        const std::wstring& localPath, Config::ProxySetting proxy = {}, Download::PackageRules rules = {});
    ~CMTCurlDownloader() override;

    void Start() override;
    bool Stop() override;

    // "<local path>_<index>".
    std::wstring PartFilePath(int index) const;

    void SetStallSeconds(long seconds) override { m_stallSeconds = seconds; }
    void SetHeaderSeconds(long seconds) override { m_headerSeconds = seconds; }
    // Pause between attempts of a range (400 ms unless a test shortens it).
    void SetRetryPause(unsigned milliseconds) override { m_retryPauseMs = milliseconds; }

private:
    static unsigned Start_Down(void* downloader);
    bool getRealDownloadUrl(const std::string& url);
    // The planned ranges fit the maximum package size and the drive's reserve (logged if not).
    bool Admit(const std::vector<Download::ByteRange>& plan) const;
    // The probe, asked again after a reset, a stall, a 5xx or a busy answer within the
    // ranges' budget; false when it is given up.
    bool ProbeWithRetries(const std::string& url);
    static int downloadExe(CMTCurlDownloader* downloader, DownloadPartNode* segment);
    static void downloadThreadFun(CMTCurlDownloader* downloader, DownloadPartNode* segment);
    static void waitForFinishThreadFun(CMTCurlDownloader* downloader);
    // Appends the further ranges' part files to part 0 and hashes them while they still
    // arrive, each once the ranges before it are complete, so little is left to copy or hash
    // after the last byte. 0 once every part is in part 0, else why not (a range that failed,
    // a stop, a part file that could not be read or written).
    int AppendParts(std::vector<std::wstring>& joinedParts);
    // After AppendParts: part 0, whole, becomes the package; the part files go.
    int FinishJoin();
    void RestoreFirstPart();
    // Waits up to milliseconds for the range's thread to end or a stop; true when it has ended.
    bool AwaitSegment(const DownloadPartNode& segment, unsigned milliseconds);
    static size_t WritePart(char* data, size_t size, size_t count, void* segment) noexcept;
    static int OnTransferProgress(void* segment, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept;
    static int OnProbeProgress(void* downloader, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept;
    void ReportProgress();
    void ClearParts();
    void DeletePartFiles();
    void SegmentEnded(DownloadPartNode& segment);
    void Report(int code, double value, const std::wstring& message);

    std::vector<std::unique_ptr<DownloadPartNode>> m_segments;
    Download::DownloaderCallback m_callback;
    std::wstring m_localPath;
    std::wstring m_url;
    Config::ProxySetting m_proxySetting;
    // Made anew for every run, so a changed system configuration counts on the retry.
    std::shared_ptr<Download::ProxyResolver> m_proxy;
    std::string m_realUrl;
    std::int64_t m_fileLength = -1;
    // The package's MD5, taken while the first range arrives and the others are joined to it.
    std::unique_ptr<Download::BackgroundMd5> m_digest;
    std::mutex m_progressMutex;
    double m_lastPercent = 0.0;
    std::mutex m_activeMutex;
    std::condition_variable m_activeChanged;
    int m_activeSegments = 0;
    std::atomic<std::uint64_t> m_lastReportTick { 0 };
    // Its retry is shared by a failed range and a digest mismatch: one 1005 per object.
    Download::DownloadVerdict m_verdict;
    Download::PackageRules m_rules;
    unsigned m_retryPauseMs = 400;
    long m_stallSeconds = Download::kStallSeconds;
    long m_headerSeconds = Download::kHeaderSeconds;
    Download::CurlStallCheck m_probeStall; // the probe, watched like a range
    long m_probeStatus = 0; // the last probe's answer, 0 for none
    long m_probeRetryAfter = -1;
    Download::CurlRetryAfter m_probeRetryAfterHeader;
    Download::StopSignal m_stop;
    Download::WorkerThreads m_threads;
};
