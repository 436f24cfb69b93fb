#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/ProxySetting.h"
#include "download/PackageRules.h"
#include "utils/FileStamp.h"

namespace Download {

// The event channel of a download: (code, progress or value, message). Same signature as
// the pipeline's stage callback, so one std::function serves both.
using DownloaderCallback = std::function<void(int code, double progress, const std::wstring& message)>;

enum DownloadEvent : int {
    DL_CODE_START = 1001,
    DL_CODE_PROGRESS = 1002,
    DL_CODE_SUCCESS = 1003,
    DL_CODE_FAIL = 1004,
    DL_CODE_RETRY = 1005,
    DL_CODE_MESSAGE = 1006,
};

// The client's own failure codes, next to libcurl's result codes.
inline constexpr int kPartFileOpenFailed = -996;
inline constexpr int kEasyHandleFailed = -997;
inline constexpr int kLengthUnusable = -998;
inline constexpr int kSegmentFileOpenFailed = -2;
// The body went, or would go, past the length announced for it, the maximum package size or
// the drive's free-space reserve: the same request would do the same, so it is not made again.
inline constexpr int kBodyOverBound = -999;
// The final address does not carry the MD5 the rules require (Download::AddressProblem): the
// package is not fetched from it, and it is not asked again.
inline constexpr int kAddressRefused = -995;
// The message of the pipeline's 1004 for a package that failed its signature check.
inline constexpr wchar_t kSignatureMessage[] = L"Signature";

inline constexpr wchar_t kLibCurlMessage[] = L"LibCurl";

// The stall rule of every downloader, probes included: once the response's headers are in,
// no body byte for this many seconds ends the transfer, which is then retried and resumed
// from its part file like a reset connection. Checked about once a second, so a stall ends
// 10 to 11 seconds after the last byte. A silent network (a NAT or proxy that drops a flow
// without a reset) would otherwise hold a download for ever.
inline constexpr long kStallSeconds = 10;
// The headers have a bound of their own, counted from the request: a scanning proxy that
// reads a whole package before it answers, or a cold CDN edge, legitimately keeps the first
// byte back for longer than the stall rule.
inline constexpr long kHeaderSeconds = 60;

} // namespace Download

// Fetches one URL into one local file on worker threads of its own and reports through the
// callback. Events arrive on those threads.
class CDownloader {
public:
    virtual ~CDownloader() = default;

    // Starts a run and returns at once. Safe to call from inside the callback of a 1005
    // report: the thread delivering it is not waited for, only joined later.
    virtual void Start() = 0;

    // Aborts any transfer and waits for every thread this downloader started; no event
    // follows once it has begun, so the package file can be deleted afterwards. Final: a
    // stopped downloader never runs again, and a later Start (a retry racing with the stop)
    // does nothing. Every stage ends within about a second: a transfer, a stall, the pause
    // before a retry, a proxy look-up (abandoned). Returns true when none of its threads runs
    // any more; false when called from one of them (it cannot wait for itself), in which
    // case the others have still been joined. Hold no lock the callback takes while calling
    // it. Destruction stops the same way.
    virtual bool Stop() = 0;

    // Before Start: the stall rule's time (Download::kStallSeconds unless a test shortens
    // it) and the pause between two attempts.
    virtual void SetStallSeconds(long seconds) = 0;
    virtual void SetRetryPause(unsigned milliseconds) = 0;
    // Before Start: the bound on the response's headers (Download::kHeaderSeconds).
    virtual void SetHeaderSeconds(long seconds) = 0;

    // The MD5 (32 lower-case hex digits) the file matched when its address carried one, for
    // a check of the file as it is held afterwards; "" otherwise. Read on the thread that
    // reported DL_CODE_SUCCESS, during that report.
    virtual std::string CheckedDigest() const { return m_checkedDigest; }
    // The package file's stamp as its writer's handle left it, sealed just before that handle
    // closed; invalid when there was none. The holder compares it with the file as held to
    // know that nothing wrote in between. Read like CheckedDigest.
    virtual Utils::FileStamp WrittenStamp() const { return m_writtenStamp; }

    // The file name the package's final address ends in (decoded), for a copy kept by that
    // name; "" when it has none that a folder can safely hold. Read like CheckedDigest.
    virtual std::wstring DeliveredName() const { return m_deliveredName; }

protected:
    std::string m_checkedDigest;
    std::wstring m_deliveredName;
    Utils::FileStamp m_writtenStamp;
};

// Picks the downloader for a DownloadType setting: 2 WinHTTP, 3 segmented, else single
// stream.
std::unique_ptr<CDownloader> CreateDownloader(int downloadType, const Download::DownloaderCallback& callback,
    const std::wstring& url, const std::wstring& localPath, const Config::ProxySetting& proxy = {},
    const Download::PackageRules& rules = {});
// The same for a package with several addresses, tried in order until one delivers it.
std::unique_ptr<CDownloader> CreateDownloader(int downloadType, const Download::DownloaderCallback& callback,
    const std::vector<std::wstring>& urls, const std::wstring& localPath, const Config::ProxySetting& proxy = {},
    const Download::PackageRules& rules = {});
