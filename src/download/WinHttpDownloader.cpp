#include "download/WinHttpDownloader.h"

#include <windows.h>

#include <ctime>

#include "download/BusyServer.h"
#include "download/LocalFiles.h"
#include "download/RetryLoop.h"
#include "download/WinHttpClient.h"
#include "utils/Text.h"
#include "utils/Log.h"

using namespace Download;

namespace {

constexpr wchar_t kWinHttpMessage[] = L"WinHttp";

} // namespace

WinHttpDownloader::WinHttpDownloader(const DownloaderCallback& callback, const std::wstring& url,
    const std::wstring& localPath, Config::ProxySetting proxy, PackageRules rules)
    : m_callback(callback)
    , m_localPath(localPath)
    , m_url(url)
    , m_proxySetting(std::move(proxy))
    , m_verdict({ L"winhttp文件md5校验失败", L"winhttp获取url-md5失败", kWinHttpMessage }, rules.acceptWithoutDigest)
    , m_rules(rules)
{
    if (m_rules.maxBytesPerSecond > 0) {
        m_pacer = std::make_unique<RatePacer>(m_rules.maxBytesPerSecond);
    }
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
    client.SetBodyLimit(FileBound(m_rules, existing > 0 ? existing : 0, FreeBytesFor(partPath)));
    client.SetProxyResolver(m_proxy);
    client.SetStopSignal(&m_stop);
    client.SetStallSeconds(m_stallSeconds);
    client.SetHeaderSeconds(m_headerSeconds);
    client.SetProgress([this](std::int64_t received, std::int64_t length) { OnBody(received, length); });
    client.SetRatePacer(m_pacer.get());
    m_addressRefused = false;
    client.SetAddressCheck([this](const std::wstring& url) {
        m_addressRefused = RefuseAddress(m_rules, Utils::WideToMultiByte(url, CP_UTF8));
        return !m_addressRefused;
    });
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
    std::wstring effective;
    std::string digest;
    const auto attempt = [&] {
        AttemptOutcome outcome;
        int status = 0;
        const DWORD error = Attempt(partPath, status, outcome.retryAfter, effective, digest);
        outcome.status = status;
        if (error == 0 && status >= 200 && status <= 299) {
            return outcome;
        }
        // 416: the part file cannot be continued, so it starts over; the rest as any downloader.
        outcome.verdict = error != 0 || status == 416 ? StatusVerdict::Retry : JudgeStatus(status);
        if (error == ERROR_FILE_TOO_LARGE || m_addressRefused) {
            // The same request would go past the bound, or lead to the refused address, again.
            outcome.verdict = StatusVerdict::Final;
        }
        if (error == 0 && status == 416 && !m_stop.Requested()) {
            TruncateLocalFile(partPath);
        }
        outcome.result = static_cast<int>(error != 0 ? error : static_cast<DWORD>(status));
        return outcome;
    };
    RetryLoop retries({ BudgetCheck::AfterCharge, static_cast<int>(ERROR_HANDLE_EOF), m_retryPauseMs }, m_stop);
    AttemptOutcome outcome = attempt();
    while (retries.Retry(outcome)) {
        LOG(L"WinHttpDownLoader Code=%lu\r\n", static_cast<unsigned long>(outcome.result));
        if (!retries.Pause()) {
            break;
        }
        outcome = attempt();
    }
    if (retries.End() != AttemptsEnd::Delivered || m_stop.Requested()) {
        RemoveLocalFile(partPath);
        if (retries.End() == AttemptsEnd::Delivered || retries.End() == AttemptsEnd::Stopped) {
            return;
        }
        if (m_addressRefused) {
            Report(DL_CODE_FAIL, static_cast<double>(kAddressRefused), kWinHttpMessage);
        } else if (retries.End() == AttemptsEnd::Final && outcome.result != static_cast<int>(ERROR_FILE_TOO_LARGE)) {
            LOG(L"download failed: status %ld\r\n", outcome.status);
            Report(DL_CODE_FAIL, static_cast<double>(outcome.status), kWinHttpMessage);
        } else {
            LOG(L"download failed: error %lu\r\n", static_cast<unsigned long>(outcome.result));
            Report(DL_CODE_FAIL, static_cast<double>(static_cast<DWORD>(outcome.result)), kWinHttpMessage);
        }
        return;
    }
    if (!ReplaceLocalFile(partPath, m_localPath)) {
        const DWORD error = ::GetLastError();
        RemoveLocalFile(partPath);
        Report(DL_CODE_FAIL, static_cast<double>(error), kWinHttpMessage);
        return;
    }

    const Verdict verdict = m_verdict.Judge(
        effective, [&digest] { return digest; }, m_localPath);
    DeliverVerdict(verdict, m_localPath, m_checkedDigest, m_deliveredName,
        [this](const VerdictEvent& event) { Report(event.code, event.value, event.message); });
}
