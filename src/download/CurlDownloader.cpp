#include "download/CurlDownloader.h"

#include "download/BusyServer.h"
#include "download/LocalFiles.h"
#include "download/RetryLoop.h"
#include "utils/Log.h"

using namespace Download;

CCurlDownloader::CCurlDownloader(const DownloaderCallback& callback, const std::wstring& url,
    const std::wstring& localPath, Config::ProxySetting proxy, PackageRules rules)
    : m_callback(callback)
    , m_localPath(localPath)
    , m_url(url)
    , m_client(url, localPath, this, &CCurlDownloader::OnClientProgress)
    , m_proxySetting(std::move(proxy))
    , m_verdict({ L"curl文件md5校验失败", L"curl获取url-md5失败", kLibCurlMessage }, rules.acceptWithoutDigest)
{
    m_client.SetPackageRules(rules);
    // A part file left by an earlier process is never resumed.
    RemoveLocalFile(m_localPath + L".part");
}

CCurlDownloader::~CCurlDownloader()
{
    Stop();
}

void CCurlDownloader::Start()
{
    m_threads.JoinAllButCaller();
    const bool started = m_stop.RunUnlessRequested([this] {
        // Read anew for every run, so a changed system configuration counts on the retry.
        m_client.SetProxyResolver(std::make_shared<ProxyResolver>(m_proxySetting, &m_stop));
        m_threads.Launch(this, L"ABDEF", &CCurlDownloader::dlThreadFun);
    });
    if (!started) {
        LOG(L"stopped for good: no new run\r\n");
    }
}

bool CCurlDownloader::Stop()
{
    m_stop.Request();
    m_client.RequestStop();
    return m_threads.JoinAllButCaller();
}

void CCurlDownloader::Report(int code, double value, const std::wstring& message)
{
    if (!m_stop.Requested()) {
        m_callback(code, value, message);
    }
}

void CCurlDownloader::OnClientProgress(void* owner, double speed, double, double percent)
{
    if (speed > 0.0 && percent <= 100.0) {
        static_cast<CCurlDownloader*>(owner)->Report(DL_CODE_PROGRESS, percent / 100.0, L"");
    }
}

// Nothing may touch the object after the terminal report: the owner may start the next run
// from inside it.
unsigned CCurlDownloader::dlThreadFun(void* downloader)
{
    auto* self = static_cast<CCurlDownloader*>(downloader);
    self->Report(DL_CODE_START, 1.0, L"");
    if (self->m_localPath.empty()) {
        self->Report(DL_CODE_FAIL, 1.0, L"");
        return 0;
    }

    const auto attempt = [self] {
        AttemptOutcome outcome;
        outcome.result = self->m_client.Start();
        outcome.status = self->m_client.LastStatus();
        outcome.retryAfter = self->m_client.RetryAfterSeconds();
        outcome.verdict
            = outcome.result == CURLE_HTTP_RETURNED_ERROR ? JudgeStatus(outcome.status) : StatusVerdict::Retry;
        if (outcome.result == kBodyOverBound || outcome.result == kAddressRefused) {
            outcome.verdict = StatusVerdict::Final;
        }
        return outcome;
    };
    RetryLoop retries({ BudgetCheck::AfterCharge, CURLE_PARTIAL_FILE, self->m_retryPauseMs }, self->m_stop);
    AttemptOutcome outcome = attempt();
    while (retries.Retry(outcome)) {
        LOG(L"CurlDownLoader Code=%d\r\n", outcome.result);
        if (!retries.Pause()) {
            break;
        }
        outcome = attempt();
    }
    if (retries.End() == AttemptsEnd::Stopped) {
        return 0;
    }
    if (retries.End() != AttemptsEnd::Delivered) {
        if (retries.End() == AttemptsEnd::Final && outcome.result != kBodyOverBound
            && outcome.result != kAddressRefused) {
            LOG(L"download failed: status %ld, not asked again\r\n", outcome.status);
        }
        self->Report(DL_CODE_FAIL, static_cast<double>(outcome.result), kLibCurlMessage);
        return 0;
    }

    const Verdict verdict = self->m_verdict.Judge(
        self->m_client.RealUrl(), [self] { return self->m_client.FileDigest(); }, self->m_localPath);
    DeliverVerdict(verdict, self->m_localPath, self->m_checkedDigest, self->m_deliveredName,
        [self](const VerdictEvent& event) { self->Report(event.code, event.value, event.message); });
    return 0;
}
