#include "download/MTCurlDownloader.h"

#include <share.h>
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "download/CurlClient.h"
#include "download/CurlProxy.h"
#include "utils/UniqueResource.h"
#include "download/LocalFiles.h"
#include "download/SegmentPlan.h"
#include "download/RetryLoop.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Text.h"

using namespace Download;
using Config::ProxySetting;

namespace {

constexpr std::int64_t kMinimumLength = 256;
// Fewer, larger reads and writes: each one is a round trip to the system under Wine.
constexpr std::size_t kFileBuffer = 256 * 1024;
constexpr long kReceiveBuffer = 256 * 1024;
constexpr std::size_t kJoinBlock = 512 * 1024;
// How often the join looks whether a range still arriving has written more.
constexpr unsigned kFollowMs = 20;
constexpr int kAppendStopped = -1;

// What the answer to a request says about asking again: libcurl's result and the status.
StatusVerdict AnswerVerdict(int result, long status)
{
    return result == CURLE_HTTP_RETURNED_ERROR || (result == CURLE_OK && status >= 400) ? JudgeStatus(status)
                                                                                        : StatusVerdict::Retry;
}

// Copies from's remaining bytes to the end of to and hashes them; 0, or why not. A whole
// range can be hundreds of megabytes: a stop is looked at between blocks.
int CopyRest(HANDLE from, HANDLE to, std::vector<char>& buffer, BackgroundMd5& digest, const StopSignal& stop)
{
    for (;;) {
        if (stop.Requested()) {
            return kAppendStopped;
        }
        DWORD got = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return CURLE_READ_ERROR;
        }
        if (got == 0) {
            return 0;
        }
        DWORD written = 0;
        if (!::WriteFile(to, buffer.data(), got, &written, nullptr) || written != got) {
            return CURLE_WRITE_ERROR;
        }
        digest.Add(buffer.data(), got);
    }
}

Utils::UniqueFile OpenBuffered(const std::wstring& path, const wchar_t* mode)
{
    // Nobody else may write, rename or delete a range file from its first byte on.
    Utils::UniqueFile file(::_wfsopen(path.c_str(), mode, _SH_DENYWR));
    if (file) {
        std::setvbuf(file.get(), nullptr, _IOFBF, kFileBuffer);
    }
    return file;
}

} // namespace

CMTCurlDownloader::CMTCurlDownloader(const DownloaderCallback& callback, const std::wstring& url,
    const std::wstring& localPath, ProxySetting proxy, PackageRules rules)
    : m_callback(callback)
    , m_localPath(localPath)
    , m_url(url)
    , m_proxySetting(std::move(proxy))
    , m_verdict({ L"mtcurl文件md5校验失败", L"mtcurl获取url-md5失败", kLibCurlMessage }, rules.acceptWithoutDigest)
    , m_rules(rules)
{
    RemoveLocalFile(m_localPath);
    DeletePartFiles();
}

CMTCurlDownloader::~CMTCurlDownloader()
{
    Stop();
    ClearParts();
}

std::wstring CMTCurlDownloader::PartFilePath(int index) const
{
    return m_localPath + L"_" + std::to_wstring(index);
}

void CMTCurlDownloader::DeletePartFiles()
{
    RemoveLocalFile(PartFilePath(0));
    RemoveLocalFile(PartFilePath(1));
}

void CMTCurlDownloader::Start()
{
    m_threads.JoinAllButCaller();
    const bool started = m_stop.RunUnlessRequested([this] {
        // Read anew for every run, so a changed system configuration counts on the retry.
        m_proxy = std::make_shared<ProxyResolver>(m_proxySetting, &m_stop);
        m_threads.Launch(this, L"ABDEF", &CMTCurlDownloader::Start_Down);
    });
    if (!started) {
        LOG(L"stopped for good: no new run\r\n");
    }
}

bool CMTCurlDownloader::Stop()
{
    m_stop.Request();
    {
        std::lock_guard<std::mutex> lock(m_activeMutex);
    }
    m_activeChanged.notify_all();
    return m_threads.JoinAllButCaller();
}

void CMTCurlDownloader::Report(int code, double value, const std::wstring& message)
{
    if (!m_stop.Requested()) {
        m_callback(code, value, message);
    }
}

unsigned CMTCurlDownloader::Start_Down(void* downloader)
{
    auto* self = static_cast<CMTCurlDownloader*>(downloader);
    self->Report(DL_CODE_START, 1.0, L"");
    LOG(L"start download\r\n");
    const std::string url = NarrowUrl(self->m_url);

    RemoveLocalFile(self->m_localPath);
    {
        std::lock_guard<std::mutex> lock(self->m_progressMutex);
        if (self->m_lastPercent == 0.0) {
            self->DeletePartFiles();
        }
    }

    if (!(!self->m_realUrl.empty() && self->m_fileLength >= kMinimumLength) && !self->ProbeWithRetries(url)) {
        self->Report(DL_CODE_FAIL, 0.0, kLibCurlMessage);
        return 0;
    }
    if (RefuseAddress(self->m_rules, self->m_realUrl)) {
        self->Report(DL_CODE_FAIL, static_cast<double>(kAddressRefused), kLibCurlMessage);
        return 0;
    }

    const std::vector<ByteRange> plan = PlanSegments(self->m_fileLength);
    self->m_digest = std::make_unique<BackgroundMd5>();
    for (std::size_t i = 0; i < plan.size(); ++i) {
        auto segment = std::make_unique<DownloadPartNode>();
        segment->owner = self;
        segment->partPath = self->PartFilePath(static_cast<int>(i));
        std::int64_t existing = LocalFileSize(segment->partPath);
        if (existing < 0) {
            existing = 0;
        }
        if (existing > plan[i].Size()) {
            // More bytes than the range holds: not ours to trust, fetch the range again.
            TruncateLocalFile(segment->partPath);
            existing = 0;
        }
        segment->received = existing;
        if (i == 0) {
            segment->digest = self->m_digest.get();
            if (existing > 0) {
                segment->digest->AddFile(segment->partPath);
            }
        }
        segment->start = plan[i].first + existing;
        segment->end = plan[i].last;
        segment->easy = NewCurlHandle();
        segment->url = self->m_realUrl;
        if (segment->start > segment->end) {
            segment->status = 0;
        } else {
            // Readable too: the stamp taken before the close reads the file's attributes.
            segment->file = OpenBuffered(segment->partPath, L"ab+");
            segment->status = segment->file ? -1 : kSegmentFileOpenFailed;
        }
        self->m_segments.push_back(std::move(segment));
    }
    std::vector<std::int64_t> remaining;
    for (const auto& segment : self->m_segments) {
        remaining.push_back(segment->start > segment->end ? 0 : segment->end - segment->start + 1);
    }
    const std::vector<std::int64_t> shares = ShareRate(self->m_rules.maxBytesPerSecond, remaining);
    for (std::size_t i = 0; i < shares.size(); ++i) {
        self->m_segments[i]->maxBytesPerSecond = shares[i];
    }
    if (!self->Admit(plan)) {
        self->ClearParts();
        self->DeletePartFiles();
        self->Report(DL_CODE_FAIL, static_cast<double>(kBodyOverBound), kLibCurlMessage);
        return 0;
    }

    bool first = true;
    for (auto& segment : self->m_segments) {
        if (segment->status != -1 || self->m_stop.Requested()) {
            continue;
        }
        if (!first) {
            self->m_stop.WaitFor(100); // the second range starts a little after the first
        }
        first = false;
        {
            std::lock_guard<std::mutex> lock(self->m_activeMutex);
            ++self->m_activeSegments;
            segment->running = true;
        }
        DownloadPartNode* node = segment.get();
        const bool launched = self->m_threads.Launch(self, L"MTCurlSegment", [node](void* owner) -> unsigned {
            downloadThreadFun(static_cast<CMTCurlDownloader*>(owner), node);
            return 0;
        });
        if (!launched) {
            self->SegmentEnded(*node);
        }
    }
    self->m_threads.Launch(self, L"MTCurlWait", [](void* owner) -> unsigned {
        waitForFinishThreadFun(static_cast<CMTCurlDownloader*>(owner));
        return 0;
    });
    return 0;
}

bool CMTCurlDownloader::Admit(const std::vector<ByteRange>& plan) const
{
    // Each range is bounded by its own length as it arrives; the join copies every range
    // after the first once more.
    std::int64_t toWrite = 0;
    for (std::size_t i = 0; i < m_segments.size(); ++i) {
        const DownloadPartNode& segment = *m_segments[i];
        toWrite += segment.start > segment.end ? 0 : segment.end - segment.start + 1;
        toWrite += i > 0 ? plan[i].Size() : 0;
    }
    const std::wstring noRoom = RoomProblem(m_rules, m_fileLength, toWrite, FreeBytesFor(m_localPath));
    if (!noRoom.empty()) {
        LOG(L"download refused: %s\r\n", noRoom.c_str());
    }
    return noRoom.empty();
}

bool CMTCurlDownloader::ProbeWithRetries(const std::string& url)
{
    const auto attempt = [this, &url] {
        AttemptOutcome outcome;
        if (getRealDownloadUrl(url)) {
            return outcome;
        }
        outcome.result = CURLE_RECV_ERROR;
        outcome.status = m_probeStatus;
        outcome.retryAfter = m_probeRetryAfter;
        outcome.verdict = AnswerVerdict(m_probeStatus > 0 ? CURLE_OK : CURLE_RECV_ERROR, m_probeStatus);
        // An answer that is not an error but has no usable length will not change either.
        if (m_probeStatus > 0 && m_probeStatus < 400) {
            outcome.verdict = StatusVerdict::Final;
        }
        return outcome;
    };
    RetryLoop retries({ BudgetCheck::AfterCharge, CURLE_PARTIAL_FILE, m_retryPauseMs }, m_stop);
    AttemptOutcome outcome = attempt();
    while (retries.Retry(outcome) && retries.Pause()) {
        outcome = attempt();
    }
    if (retries.End() != AttemptsEnd::Delivered) {
        LOG(L"probe given up: status %ld\r\n", m_probeStatus);
        return false;
    }
    return true;
}

bool CMTCurlDownloader::getRealDownloadUrl(const std::string& url)
{
    m_realUrl.clear();
    m_fileLength = 0;
    m_probeStatus = 0;
    m_probeRetryAfter = -1;

    UniqueCurl handle = NewCurlHandle();
    if (!handle) {
        return false;
    }
    UniqueCurlList headers;
    AppendHeader(headers, "Connection: keep-alive");
    CURL* easy = handle.get();
    ::curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    int options = ::curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    options |= RequireVerifiedTls(easy);
    options |= ::curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &DiscardBody);
    options |= ::curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
    options |= ::curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::OnProbeProgress);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    options |= m_probeRetryAfterHeader.Watch(easy);
    if (options != 0) {
        return false;
    }
    m_probeStall.Begin(easy, m_stallSeconds, m_headerSeconds);
    const CURLcode performed = m_probeStall.End(PerformThroughProxy(easy, url, *m_proxy, true));
    ::curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &m_probeStatus);
    m_probeRetryAfter = m_probeRetryAfterHeader.Seconds();
    if (performed != CURLE_OK) {
        LOG(L"error:%d:%hs\r\n", static_cast<int>(performed), CurlErrorText(performed));
        return false;
    }

    char* effective = nullptr;
    if (::curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective && *effective) {
        m_realUrl = effective;
        LOG(L"Download File real url %hs\r\n", Utils::RedactUrl(m_realUrl).c_str());
    }
    curl_off_t length = -1;
    long status = 0;
    if (::curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK
        && ::curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 200 && status <= 399) {
        m_fileLength = static_cast<std::int64_t>(length);
        LOG(L"Download File Length %lld\r\n", static_cast<long long>(m_fileLength));
    }
    return !m_realUrl.empty() && m_fileLength >= kMinimumLength;
}

int CMTCurlDownloader::downloadExe(CMTCurlDownloader* downloader, DownloadPartNode* segment)
{
    const std::string range = RangeText(segment->start, segment->end);
    segment->responseChecked = false;
    CURL* easy = segment->easy.get();
    if (!easy) {
        segment->status = CURLE_FAILED_INIT;
        return CURLE_FAILED_INIT;
    }
    int options = ::curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    options |= ::curl_easy_setopt(easy, CURLOPT_TIMEOUT, 0L);
    options |= ::curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CMTCurlDownloader::WritePart);
    options |= ::curl_easy_setopt(easy, CURLOPT_WRITEDATA, segment);
    options |= ::curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CMTCurlDownloader::OnTransferProgress);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFODATA, segment);
    options |= ::curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    options |= ::curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
    options |= RequireVerifiedTls(easy);
    options |= ::curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    options |= ::curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    options |= segment->retryAfterHeader.Watch(easy);
    if (segment->maxBytesPerSecond > 0) {
        options |= ::curl_easy_setopt(
            easy, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(segment->maxBytesPerSecond));
    }
    if (options != 0) {
        return options;
    }

    segment->stall.Begin(easy, downloader->m_stallSeconds, downloader->m_headerSeconds);
    int result = segment->stall.End(PerformThroughProxy(easy, segment->url, *downloader->m_proxy, true));
    segment->httpStatus = 0;
    ::curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &segment->httpStatus);
    segment->retryAfter = segment->retryAfterHeader.Seconds();
    if (result == CURLE_OK && InRedirectResponse(easy)) {
        result = CURLE_HTTP_RETURNED_ERROR; // a redirect that leads nowhere is not the range
    }
    if (result != CURLE_OK) {
        LOG(L"error:%d:%hs\r\n", result, CurlErrorText(result));
    } else {
        LOG(L"curl_easy_cleanup\r\n");
    }
    ::curl_easy_reset(easy);
    if (segment->start > segment->end) {
        // Every byte of the range is in; a server that sent more than asked is not a failure.
        result = CURLE_OK;
    }
    if (result == CURLE_OK && segment->file) {
        segment->closedStamp = Utils::SealFileStamp(segment->file.get());
        if (std::fclose(segment->file.release()) != 0) {
            result = CURLE_WRITE_ERROR;
        }
    }
    segment->status = result;
    return result;
}

void CMTCurlDownloader::downloadThreadFun(CMTCurlDownloader* downloader, DownloadPartNode* segment)
{
    const auto attempt = [downloader, segment] {
        AttemptOutcome outcome;
        outcome.result = downloadExe(downloader, segment);
        outcome.status = segment->httpStatus;
        outcome.retryAfter = segment->retryAfter;
        outcome.verdict = AnswerVerdict(outcome.result, segment->httpStatus);
        return outcome;
    };
    RetryLoop retries(
        { BudgetCheck::BeforeCharge, CURLE_PARTIAL_FILE, downloader->m_retryPauseMs }, downloader->m_stop);
    AttemptOutcome outcome = attempt();
    while (retries.Retry(outcome)) {
        LOG(L"CurlDownLoader Code=%d\r\n", outcome.result);
        if (!retries.Pause()) {
            break;
        }
        outcome = attempt();
    }
    if (retries.End() == AttemptsEnd::Final) {
        LOG(L"range failed: status %ld, not asked again\r\n", outcome.status);
    }
    if (segment->file) {
        std::fclose(segment->file.release());
    }
    downloader->SegmentEnded(*segment);
}

void CMTCurlDownloader::SegmentEnded(DownloadPartNode& segment)
{
    {
        std::lock_guard<std::mutex> lock(m_activeMutex);
        --m_activeSegments;
        segment.running = false;
    }
    m_activeChanged.notify_all();
}

size_t CMTCurlDownloader::WritePart(char* data, size_t size, size_t count, void* segmentData) noexcept
{
    auto* segment = static_cast<DownloadPartNode*>(segmentData);
    if (!segment || !segment->file || segment->start > segment->end) {
        return 0;
    }
    if (InRedirectResponse(segment->easy.get())) {
        return size * count;
    }
    if (!segment->responseChecked) {
        segment->responseChecked = true;
        long status = 0;
        ::curl_easy_getinfo(segment->easy.get(), CURLINFO_RESPONSE_CODE, &status);
        // A server that ignores the range sends the file from its first byte: those bytes
        // belong elsewhere unless this range starts there.
        if (status != 206 && segment->start != 0) {
            return 0;
        }
    }
    const std::int64_t offered = static_cast<std::int64_t>(size) * static_cast<std::int64_t>(count);
    const std::int64_t room = segment->end - segment->start + 1;
    const std::int64_t wanted = offered > room ? room : offered;
    const std::size_t written = std::fwrite(data, 1, static_cast<std::size_t>(wanted), segment->file.get());
    if (segment->digest) {
        segment->digest->Add(data, written);
    }
    segment->start += static_cast<std::int64_t>(written);
    segment->received += static_cast<std::int64_t>(written);
    return written;
}

int CMTCurlDownloader::OnTransferProgress(
    void* segmentData, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept
{
    auto* segment = static_cast<DownloadPartNode*>(segmentData);
    CMTCurlDownloader* downloader = segment->owner;
    if (downloader->m_stop.Requested()) {
        return 1;
    }
    if (segment->stall.Stalled(downloadNow)) {
        return 1;
    }
    downloader->ReportProgress();
    return 0;
}

int CMTCurlDownloader::OnProbeProgress(
    void* downloaderData, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept
{
    auto* downloader = static_cast<CMTCurlDownloader*>(downloaderData);
    if (downloader->m_stop.Requested()) {
        return 1;
    }
    return downloader->m_probeStall.Stalled(downloadNow) ? 1 : 0;
}

void CMTCurlDownloader::ReportProgress()
{
    const std::uint64_t now = ::GetTickCount64();
    std::uint64_t last = m_lastReportTick.load();
    if (now - last < 1000 || !m_lastReportTick.compare_exchange_strong(last, now)) {
        return;
    }
    if (m_fileLength < kMinimumLength) {
        return;
    }
    double percent = 0.0;
    for (const auto& segment : m_segments) {
        const std::int64_t received = segment->received.load();
        if (received > 0) {
            percent += static_cast<double>(received) * 100.0 / static_cast<double>(m_fileLength);
        }
    }
    if (percent > 100.0) {
        return;
    }
    bool report = false;
    {
        std::lock_guard<std::mutex> lock(m_progressMutex);
        if (percent - m_lastPercent >= 1.0) {
            m_lastPercent = percent;
            report = true;
        }
    }
    if (report) {
        Report(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
}

bool CMTCurlDownloader::AwaitSegment(const DownloadPartNode& segment, unsigned milliseconds)
{
    std::unique_lock<std::mutex> lock(m_activeMutex);
    m_activeChanged.wait_for(
        lock, std::chrono::milliseconds(milliseconds), [&] { return !segment.running || m_stop.Requested(); });
    return !segment.running;
}

int CMTCurlDownloader::AppendParts(std::vector<std::wstring>& joinedParts)
{
    m_writtenStamp = {};
    const DownloadPartNode& first = *m_segments.front();
    while (!AwaitSegment(first, kFollowMs)) {
        if (m_stop.Requested()) {
            return kAppendStopped;
        }
    }
    if (first.status != 0 || m_segments.size() < 2) {
        m_writtenStamp = first.closedStamp; // the first range's file is the package
        return first.status;
    }
    // FILE_READ_ATTRIBUTES and FILE_WRITE_ATTRIBUTES: the stamps are read and sealed here.
    Utils::UniqueFileHandle joined(
        ::CreateFileW(first.partPath.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
            FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!joined) {
        return kSegmentFileOpenFailed;
    }
    // The join's stamp stands for the whole file only when the first range's file is as its
    // writer left it; else the holder reads the package again.
    const bool firstIntact = first.closedStamp.Matches(Utils::ReadFileStamp(joined.get()));
    std::vector<char> buffer(kJoinBlock);
    for (std::size_t i = 1; i < m_segments.size(); ++i) {
        const DownloadPartNode& segment = *m_segments[i];
        // Shared for writing: the range's own thread may still be appending to it.
        Utils::UniqueFileHandle part(::CreateFileW(segment.partPath.c_str(), GENERIC_READ,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!part) {
            return kSegmentFileOpenFailed;
        }
        for (;;) {
            // Seen ended before the copy, so the copy reaches everything it wrote.
            const bool ended = AwaitSegment(segment, 0);
            if (const int copied = CopyRest(part.get(), joined.get(), buffer, *m_digest, m_stop); copied != 0) {
                return copied;
            }
            if (ended) {
                break;
            }
            if (!AwaitSegment(segment, kFollowMs) && m_stop.Requested()) {
                return kAppendStopped;
            }
        }
        if (segment.status != 0) {
            return segment.status;
        }
        joinedParts.push_back(segment.partPath);
    }
    const Utils::FileStamp written = firstIntact ? Utils::SealFileStamp(joined.get()) : Utils::FileStamp {};
    if (!::CloseHandle(joined.release())) {
        return CURLE_WRITE_ERROR;
    }
    m_writtenStamp = written;
    return 0;
}

int CMTCurlDownloader::FinishJoin()
{
    if (LocalFileSize(PartFilePath(0)) != m_fileLength) {
        return CURLE_PARTIAL_FILE;
    }
    if (!ReplaceLocalFile(PartFilePath(0), m_localPath)) {
        return CURLE_WRITE_ERROR;
    }
    DeletePartFiles();
    return 0;
}

void CMTCurlDownloader::RestoreFirstPart()
{
    // What was appended to part 0 goes, so it holds its range alone for a restart to resume.
    if (!m_segments.empty()) {
        ShortenLocalFile(PartFilePath(0), m_segments.front()->end + 1);
    }
}

// Nothing may touch the object after the terminal report: the owner may start the next run
// from inside it.
void CMTCurlDownloader::waitForFinishThreadFun(CMTCurlDownloader* self)
{
    std::vector<std::wstring> joined;
    const int appended = self->AppendParts(joined);
    {
        std::unique_lock<std::mutex> lock(self->m_activeMutex);
        self->m_activeChanged.wait(lock, [self] { return self->m_activeSegments <= 0; });
    }
    if (self->m_stop.Requested()) {
        self->RestoreFirstPart();
        self->ClearParts();
        return;
    }
    int failing = 0;
    for (const auto& segment : self->m_segments) {
        if (segment->status != 0) {
            failing = segment->status;
            break;
        }
    }
    if (failing == 0) {
        {
            std::lock_guard<std::mutex> lock(self->m_progressMutex);
            self->m_lastPercent = 0.0;
        }
        failing = appended != 0 ? appended : self->FinishJoin();
        if (failing == 0) {
            for (const auto& path : joined) {
                LOG(L"partPath::%s\r\n", path.c_str());
            }
        }
    }

    if (failing == 0) {
        const Download::Verdict verdict = self->m_verdict.Judge(
            self->m_realUrl, [self] { return self->m_digest->Finish(); }, self->m_localPath);
        if (verdict.discardFile) {
            LOG(L"%s\r\n",
                verdict.events.back().code == DL_CODE_RETRY ? L"finish recv, md5 chaek failed retry once."
                                                            : L"finish recv, md5 chaek failed and retry failed.");
        } else {
            LOG(L"finish recv\r\n");
        }
        self->ClearParts();
        DeliverVerdict(verdict, self->m_localPath, self->m_checkedDigest, self->m_deliveredName,
            [self](const VerdictEvent& event) { self->Report(event.code, event.value, event.message); });
        return;
    }

    self->RestoreFirstPart();
    self->ClearParts();
    {
        std::lock_guard<std::mutex> lock(self->m_progressMutex);
        if (self->m_lastPercent == 0.0) {
            self->DeletePartFiles();
        }
    }
    const VerdictEvent event = self->m_verdict.RetryOnce(static_cast<double>(failing));
    if (event.code == DL_CODE_FAIL) {
        std::lock_guard<std::mutex> lock(self->m_progressMutex);
        self->m_lastPercent = 0.0;
    }
    self->Report(event.code, event.value, event.message);
}

void CMTCurlDownloader::ClearParts()
{
    for (auto& segment : m_segments) {
        segment->easy.reset();
        segment->file.reset();
    }
    m_segments.clear();
}
