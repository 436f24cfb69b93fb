#include "support/LogCapture.h"

#include <chrono>

#include "utils/Log.h"

namespace TestSupport {

LogCapture::LogCapture()
{
    Utils::SetLogObserver([this](const std::wstring& line) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
        }
        m_changed.notify_all();
    });
}

LogCapture::~LogCapture()
{
    Utils::SetLogObserver(nullptr);
}

std::vector<std::wstring> LogCapture::Lines() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::vector<std::wstring> LogCapture::Matching(const std::wstring& needle) const
{
    std::vector<std::wstring> result;
    for (const auto& line : Lines()) {
        if (line.find(needle) != std::wstring::npos) {
            result.push_back(line);
        }
    }
    return result;
}

bool LogCapture::WaitFor(const std::wstring& needle, DWORD timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const auto& line : m_lines) {
            if (line.find(needle) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    });
}

} // namespace TestSupport
