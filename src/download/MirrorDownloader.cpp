#include "download/MirrorDownloader.h"

#include <algorithm>

#include "utils/Log.h"

using namespace Download;

namespace Download {

std::wstring UrlHost(const std::wstring& url)
{
    const auto scheme = url.find(L"://");
    const std::size_t from = scheme == std::wstring::npos ? 0 : scheme + 3;
    const auto end = std::min(url.find_first_of(L"/?#", from), url.size());
    std::wstring authority = url.substr(from, end - from);
    const auto at = authority.rfind(L'@');
    return at == std::wstring::npos ? authority : authority.substr(at + 1);
}

} // namespace Download

MirrorDownloader::MirrorDownloader(Factory make, std::vector<std::wstring> urls, DownloaderCallback callback)
    : m_make(std::move(make))
    , m_urls(std::move(urls))
    , m_callback(std::move(callback))
{
}

MirrorDownloader::~MirrorDownloader()
{
    Stop();
}

std::unique_ptr<CDownloader> MirrorDownloader::Make(std::size_t index)
{
    auto downloader = m_make(m_urls[index],
        [this, index](int code, double value, const std::wstring& message) { OnEvent(index, code, value, message); });
    if (m_stallSeconds > 0) {
        downloader->SetStallSeconds(m_stallSeconds);
    }
    if (m_headerSeconds > 0) {
        downloader->SetHeaderSeconds(m_headerSeconds);
    }
    if (m_retryPauseMs > 0) {
        downloader->SetRetryPause(m_retryPauseMs);
    }
    return downloader;
}

void MirrorDownloader::Start()
{
    std::shared_ptr<CDownloader> current;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_current && !m_urls.empty() && !m_stop.Requested()) {
            m_current = Make(m_index);
        }
        current = m_current;
    }
    // A restart after a retry request: the address in use goes on.
    if (current) {
        current->Start();
    }
}

bool MirrorDownloader::Stop()
{
    m_stop.Request();
    bool joined = m_threads.JoinAllButCaller();
    std::shared_ptr<CDownloader> current;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        current = m_current;
    }
    if (current) {
        joined = current->Stop() && joined;
    }
    return joined;
}

void MirrorDownloader::OnEvent(std::size_t index, int code, double value, const std::wstring& message)
{
    if (m_stop.Requested()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (index != m_index) {
            return;
        }
        switch (code) {
        case DL_CODE_START:
            if (m_started) {
                return; // the next address, or the same once more: still one download
            }
            m_started = true;
            break;
        case DL_CODE_PROGRESS:
            if (value < m_progress) {
                return; // a new address starts from its first byte; the bar waits for it
            }
            m_progress = value;
            break;
        case DL_CODE_FAIL:
            if (index + 1 < m_urls.size()) {
                LOG(L"the package could not be had from %s (%g); trying %s\r\n", UrlHost(m_urls[index]).c_str(), value,
                    UrlHost(m_urls[index + 1]).c_str());
                m_index = index + 1;
                // Its thread delivers this event and cannot join itself: the switch is made on
                // another.
                m_stop.RunUnlessRequested([this] { m_threads.Launch(this, L"MirrorSwitch", &SwitchThread); });
                return;
            }
            if (m_urls.size() > 1) {
                LOG(L"the package could not be had from any of its %u addresses\r\n",
                    static_cast<unsigned>(m_urls.size()));
            }
            break;
        default:
            break;
        }
    }
    m_callback(code, value, message);
}

std::string MirrorDownloader::CheckedDigest() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current ? m_current->CheckedDigest() : std::string();
}

std::wstring MirrorDownloader::DeliveredName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current ? m_current->DeliveredName() : std::wstring();
}

Utils::FileStamp MirrorDownloader::WrittenStamp() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current ? m_current->WrittenStamp() : Utils::FileStamp {};
}

unsigned MirrorDownloader::SwitchThread(void* selfData)
{
    auto* self = static_cast<MirrorDownloader*>(selfData);
    std::shared_ptr<CDownloader> failed;
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(self->m_mutex);
        failed = std::move(self->m_current);
        index = self->m_index;
    }
    failed.reset(); // joins its threads; the one that reported has ended or is about to
    std::shared_ptr<CDownloader> next = self->Make(index);
    {
        // A stop joins this thread before it looks for the downloader in use.
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_current = next;
    }
    if (!self->m_stop.Requested()) {
        next->Start();
    }
    return 0;
}
