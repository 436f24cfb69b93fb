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

// Places download and package progress on one 0..100 bar: the download fills the first
// DownloadScale share, the package the rest.
class InstallProgress {
public:
    explicit InstallProgress(double downloadScale);

    int DownloadPercent(double progress) const;
    // Each package report moves the bar by at least 15 % of the package share, up to 95 % of
    // it, and a higher reported value takes over. The displayed fraction is never reset.
    int InstallPercent(double reported);

    // The label's own pattern (its "userdata") when it has one, else the built-in texts.
    static std::wstring Text(const std::wstring& pattern, int percent, float elapsedSeconds);

private:
    static int Clamp(double percent);

    double m_scale;
    double m_displayed = 0.0;
};
