#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace TestSupport {

// Collects every LOG line of this process while it lives.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::wstring> Lines() const;
    // Lines whose text contains needle.
    std::vector<std::wstring> Matching(const std::wstring& needle) const;
    // Waits up to timeoutMs for a line containing needle.
    bool WaitFor(const std::wstring& needle, DWORD timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::wstring> m_lines;
};

} // namespace TestSupport
