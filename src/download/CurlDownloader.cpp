#include "download/CurlDownloader.h"

#include "utils/Md5.h"
#include "download/BusyServer.h"
#include "download/LocalFiles.h"
#include "download/UrlMd5.h"
#include "utils/Log.h"

using namespace Download;

CCurlDownloader::CCurlDownloader(const DownloaderCallback& callback, const std::wstring& url,
    const std::wstring& localPath, Config::ProxySetting proxy)
    : m_callback(callback)
    , m_localPath(localPath)
    , m_url(url)
    , m_client(url, localPath, this, &CCurlDownloader::OnClientProgress)
    , m_proxySetting(std::move(proxy))
{
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

    int budget = 12;
    int busyAnswers = 0;
    int result = self->m_client.Start();
    while (result != 0) {
        if (self->m_stop.Requested()) {
            return 0;
        }
        const long status = self->m_client.LastStatus();
        const StatusVerdict verdict = result == CURLE_HTTP_RETURNED_ERROR ? JudgeStatus(status) : StatusVerdict::Retry;
        if (verdict == StatusVerdict::Final) {
            LOG(L"download failed: status %ld, not asked again\r\n", status);
            self->Report(DL_CODE_FAIL, static_cast<double>(result), kLibCurlMessage);
            return 0;
        }
        budget -= result == 18 ? 1 : 2;
        if (budget <= 0) {
            self->Report(DL_CODE_FAIL, static_cast<double>(result), kLibCurlMessage);
            return 0;
        }
        LOG(L"CurlDownLoader Code=%d\r\n", result);
        unsigned pause = self->m_retryPauseMs;
        if (verdict == StatusVerdict::Busy) {
            pause = BusyPauseMs(self->m_client.RetryAfterSeconds(), ++busyAnswers);
            LOG(L"server busy (status %ld): asking again in %u ms\r\n", status, pause);
        }
        if (self->m_stop.WaitFor(pause)) {
            return 0;
        }
        result = self->m_client.Start();
    }

    const std::string expected = UrlMd5(self->m_client.RealUrl());
    self->m_checkedDigest.clear();
    if (expected.size() == kMd5Length) {
        std::string actual = self->m_client.FileDigest();
        if (actual.empty()) {
            actual = Utils::FileMd5Wide(self->m_localPath);
        }
        if (actual != expected) { // a digest that could not be made is no match
            // A file that failed its check must never pass for the package.
            RemoveLocalFile(self->m_localPath);
            self->Report(DL_CODE_MESSAGE, 0.0, L"curl文件md5校验失败");
            if (self->m_retried) {
                self->Report(DL_CODE_FAIL, 0.0, kLibCurlMessage);
            } else {
                self->m_retried = true;
                self->Report(DL_CODE_RETRY, 0.0, kLibCurlMessage);
            }
            return 0;
        }
        self->m_checkedDigest = expected;
    } else {
        self->Report(DL_CODE_MESSAGE, 0.0, L"curl获取url-md5失败");
    }
    self->Report(DL_CODE_SUCCESS, 0.0, kLibCurlMessage);
    return 0;
}
