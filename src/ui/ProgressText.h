#pragma once

#include <windows.h>

#include <string>

// Times the download from its start, to tell a short wait from a long one.
class InstallStopwatch {
public:
    void Start(DWORD nowMs)
    {
        m_start = nowMs;
        m_running = true;
    }
    // Seconds since Start; 0 when never started.
    float ElapsedSeconds(DWORD nowMs) const { return m_running ? static_cast<float>(nowMs - m_start) / 1000.0f : 0.0f; }

private:
    DWORD m_start = 0;
    bool m_running = false;
};

// The progress label's text: the label's own pattern (its "userdata") when it has one, else
// the built-in texts.
std::wstring ProgressText(const std::wstring& pattern, int percent, float elapsedSeconds);
