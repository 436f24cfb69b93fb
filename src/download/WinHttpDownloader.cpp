#include "download/WinHttpDownloader.h"

#include <windows.h>

#include <ctime>

#include "download/BusyServer.h"
#include "utils/Md5.h"
#include "utils/Text.h"
#include "download/LocalFiles.h"
#include "download/UrlMd5.h"
#include "download/WinHttpClient.h"
#include "utils/Log.h"

using namespace Download;

namespace {

constexpr wchar_t kWinHttpMessage[] = L"WinHttp";

} // namespace

WinHttpDownloader::WinHttpDownloader(const DownloaderCallback& callback, const std::wstring& url,
    const std::wstring& localPath, Config::ProxySetting proxy)
    : m_callback(callback)
    , m_localPath(localPath)
    , m_url(url)
    , m_proxySetting(std::move(proxy))
{
}

WinHttpDownloader::~WinHttpDownloader()
{
    Stop();
}

void WinHttpDownloader::Start()
{
    m_threads.JoinAllButCaller();
    const bool started = m_stop.RunUnlessRequested([this] {
        // Read anew for every run, so a changed system configuration counts on the retry.
        m_proxy = std::make_shared<ProxyResolver>(m_proxySetting, &m_stop);
        m_threads.Launch(this, L"ABDEF", &WinHttpDownloader::RunThread);
    });
    if (!started) {
        LOG(L"stopped for good: no new run\r\n");
    }
}

bool WinHttpDownloader::Stop()
{
    m_stop.Request();
    return m_threads.JoinAllButCaller();
}

void WinHttpDownloader::Report(int code, double value, const std::wstring& message)
{
    if (!m_stop.Requested()) {
        m_callback(code, value, message);
    }
}

unsigned WinHttpDownloader::RunThread(void* downloader)
{
    static_cast<WinHttpDownloader*>(downloader)->Run();
    return 0;
}

void WinHttpDownloader::OnBody(std::int64_t received, std::int64_t contentLength)
{
    if (contentLength <= 0 || received <= 0 || received > contentLength) {
        return;
    }
    const std::uint64_t now = ::GetTickCount64();
    if (now - m_lastReportTick < 1000) {
        return;
    }
    m_lastReportTick = now;
    Report(DL_CODE_PROGRESS, static_cast<double>(received) / static_cast<double>(contentLength), L"");
}

DWORD WinHttpDownloader::Attempt(
    const std::wstring& partPath, int& status, long& retryAfter, std::wstring& effectiveUrl, std::string& digest)
{
    const std::int64_t existing = LocalFileSize(partPath);
    WinHttpClient client(m_url);
    client.SetSaveFilePath(partPath);
    client.SetResumeOffset(existing > 0 ? existing : 0);
    client.SetProxyResolver(m_proxy);
    client.SetStopSignal(&m_stop);
    client.SetStallSeconds(m_stallSeconds);
    client.SetHeaderSeconds(m_headerSeconds);
    client.SetProgress([this](std::int64_t received, std::int64_t length) { OnBody(received, length); });
    const bool responded = client.SendHttpRequest(L"GET");
    status = responded ? _wtoi(client.GetResponseStatusCode().c_str()) : 0;
    retryAfter = ParseRetryAfter(Utils::WideToMultiByte(client.GetRetryAfter(), CP_ACP), std::time(nullptr));
    effectiveUrl = client.GetEffectiveUrl().empty() ? m_url : client.GetEffectiveUrl();
    digest = client.GetSavedFileDigest();
    m_writtenStamp = client.GetSavedFileStamp();
    if (responded) {
        return 0;
    }
    return client.GetLastError() != 0 ? client.GetLastError() : static_cast<DWORD>(ERROR_GEN_FAILURE);
}

// Nothing may touch the object after the terminal report: the owner may start the next run
// from inside it.
void WinHttpDownloader::Run()
{
    Report(DL_CODE_START, 1.0, L"");
    if (m_localPath.empty()) {
        Report(DL_CODE_FAIL, 1.0, L"");
        return;
    }
    const std::wstring partPath = m_localPath + L".part";
    RemoveLocalFile(m_localPath);
    RemoveLocalFile(partPath);

    // The single-stream downloader's budget: a body that ended short costs 1, any other
    // failure (a stall, a reset, no connection) 2.
    int budget = 12;
    int busyAnswers = 0;
    std::wstring effective;
    std::string digest;
    for (;;) {
        int status = 0;
        long retryAfter = -1;
        DWORD error = Attempt(partPath, status, retryAfter, effective, digest);
        if (m_stop.Requested()) {
            RemoveLocalFile(partPath);
            return;
        }
        if (error == 0 && status >= 200 && status <= 299) {
            break;
        }
        // 416: the part file cannot be continued, so it starts over; the rest as any downloader.
        const StatusVerdict verdict = error != 0 || status == 416 ? StatusVerdict::Retry : JudgeStatus(status);
        if (verdict == StatusVerdict::Final) {
            RemoveLocalFile(partPath);
            LOG(L"download failed: status %d\r\n", status);
            Report(DL_CODE_FAIL, static_cast<double>(status), kWinHttpMessage);
            return;
        }
        if (error == 0 && status == 416) {
            TruncateLocalFile(partPath);
        }
        if (error == 0) {
            error = static_cast<DWORD>(status);
        }
        budget -= error == ERROR_HANDLE_EOF ? 1 : 2;
        if (budget <= 0) {
            RemoveLocalFile(partPath);
            LOG(L"download failed: error %lu\r\n", error);
            Report(DL_CODE_FAIL, static_cast<double>(error), kWinHttpMessage);
            return;
        }
        LOG(L"WinHttpDownLoader Code=%lu\r\n", error);
        unsigned pause = m_retryPauseMs;
        if (verdict == StatusVerdict::Busy) {
            pause = BusyPauseMs(retryAfter, ++busyAnswers);
            LOG(L"server busy (status %d): asking again in %u ms\r\n", status, pause);
        }
        if (m_stop.WaitFor(pause)) {
            RemoveLocalFile(partPath);
            return;
        }
    }
    if (!ReplaceLocalFile(partPath, m_localPath)) {
        const DWORD error = ::GetLastError();
        RemoveLocalFile(partPath);
        Report(DL_CODE_FAIL, static_cast<double>(error), kWinHttpMessage);
        return;
    }

    const std::string expected = UrlMd5(effective);
    m_checkedDigest.clear();
    if (expected.size() == kMd5Length) {
        const std::string actual = digest.empty() ? Utils::FileMd5Wide(m_localPath) : digest;
        if (actual != expected) { // a digest that could not be made is no match
            RemoveLocalFile(m_localPath);
            Report(DL_CODE_MESSAGE, 0.0, L"curl文件md5校验失败");
            if (m_retried) {
                Report(DL_CODE_FAIL, 0.0, kWinHttpMessage);
            } else {
                m_retried = true;
                Report(DL_CODE_RETRY, 0.0, kWinHttpMessage);
            }
            return;
        }
        m_checkedDigest = expected;
    } else {
        Report(DL_CODE_MESSAGE, 0.0, L"curl获取url-md5失败");
    }
    Report(DL_CODE_SUCCESS, 0.0, kWinHttpMessage);
}
