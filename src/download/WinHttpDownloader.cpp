#include "download/WinHttpDownloader.h"

#include <windows.h>

#include "utils/Md5.h"
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
    m_stopRequested = false;
    m_threads.Launch(this, L"ABDEF", &WinHttpDownloader::RunThread);
}

bool WinHttpDownloader::Stop()
{
    m_stopRequested = true;
    {
        std::lock_guard<std::mutex> lock(m_clientMutex);
        if (m_client) {
            m_client->Cancel();
        }
    }
    return m_threads.JoinAllButCaller();
}

void WinHttpDownloader::Report(int code, double value, const std::wstring& message)
{
    if (!m_stopRequested) {
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

    WinHttpClient client(m_url);
    client.SetSaveFilePath(partPath);
    client.SetProxySetting(m_proxySetting);
    client.SetStopFlag(&m_stopRequested);
    client.SetProgress([this](std::int64_t received, std::int64_t length) { OnBody(received, length); });
    {
        std::lock_guard<std::mutex> lock(m_clientMutex);
        m_client = &client;
    }
    const bool responded = client.SendHttpRequest(L"GET");
    {
        std::lock_guard<std::mutex> lock(m_clientMutex);
        m_client = nullptr;
    }
    if (m_stopRequested) {
        RemoveLocalFile(partPath);
        return;
    }

    const int status = _wtoi(client.GetResponseStatusCode().c_str());
    if (!responded || status < 200 || status > 299) {
        RemoveLocalFile(partPath);
        const double value = responded ? static_cast<double>(status) : static_cast<double>(client.GetLastError());
        LOG(L"download failed: status %d, error %lu\r\n", status, client.GetLastError());
        Report(DL_CODE_FAIL, value, kWinHttpMessage);
        return;
    }
    if (!ReplaceLocalFile(partPath, m_localPath)) {
        const DWORD error = ::GetLastError();
        RemoveLocalFile(partPath);
        Report(DL_CODE_FAIL, static_cast<double>(error), kWinHttpMessage);
        return;
    }

    const std::wstring effective = client.GetEffectiveUrl().empty() ? m_url : client.GetEffectiveUrl();
    const std::string expected = UrlMd5(effective);
    if (expected.size() == kMd5Length) {
        const std::string actual = Utils::FileMd5Wide(m_localPath);
        if (actual.size() == kMd5Length && actual != expected) {
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
    } else {
        Report(DL_CODE_MESSAGE, 0.0, L"curl获取url-md5失败");
    }
    Report(DL_CODE_SUCCESS, 0.0, kWinHttpMessage);
}
