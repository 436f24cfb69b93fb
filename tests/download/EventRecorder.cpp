#include "EventRecorder.h"

#include <chrono>

namespace DownloadTests {

Download::DownloaderCallback EventRecorder::Callback()
{
    return [this](int code, double value, const std::wstring& message) {
        Event event { code, value, message, ::GetCurrentThreadId(), ::GetTickCount64() };
        std::function<void(const Event&)> reaction;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(event);
            reaction = m_reaction;
        }
        if (reaction) {
            reaction(event);
        }
        m_changed.notify_all();
    };
}

void EventRecorder::SetReaction(std::function<void(const Event&)> reaction)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_reaction = std::move(reaction);
}

int EventRecorder::CountLocked(int code) const
{
    int count = 0;
    for (const auto& event : m_events) {
        count += event.code == code ? 1 : 0;
    }
    return count;
}

bool EventRecorder::WaitForCode(int code, DWORD timeoutMs, int count) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return CountLocked(code) >= count; });
}

bool EventRecorder::WaitForEnd(DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
        [&] { return CountLocked(Download::DL_CODE_SUCCESS) + CountLocked(Download::DL_CODE_FAIL) > 0; });
}

std::vector<Event> EventRecorder::Events() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_events;
}

std::vector<int> EventRecorder::Codes() const
{
    std::vector<int> codes;
    for (const auto& event : Events()) {
        if (event.code != Download::DL_CODE_PROGRESS) {
            codes.push_back(event.code);
        }
    }
    return codes;
}

std::vector<Event> EventRecorder::OfCode(int code) const
{
    std::vector<Event> matching;
    for (const auto& event : Events()) {
        if (event.code == code) {
            matching.push_back(event);
        }
    }
    return matching;
}

void RestartOnRetry(EventRecorder& recorder, CDownloader& downloader)
{
    recorder.SetReaction([&downloader](const Event& event) {
        if (event.code == Download::DL_CODE_RETRY) {
            downloader.Start();
        }
    });
}

} // namespace DownloadTests
