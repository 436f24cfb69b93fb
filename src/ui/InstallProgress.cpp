#include "ui/InstallProgress.h"

#include "ui/SequenceFrames.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

InstallProgress::InstallProgress(double downloadScale)
    // The setting is not range-checked where it is read; the bar must stay within 0..100.
    : m_scale(std::isfinite(downloadScale) ? std::clamp(downloadScale, 0.0, 1.0) : 0.7)
{
}

int InstallProgress::Clamp(double percent)
{
    if (!(percent > 0.0)) {
        return 0;
    }
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

int InstallProgress::DownloadPercent(double progress) const
{
    return Clamp(progress * m_scale * 100.0);
}

int InstallProgress::InstallPercent(double reported)
{
    double fraction = m_displayed + 0.15;
    if (fraction > 0.95) {
        fraction = 0.95;
    }
    if (reported >= fraction) {
        fraction = std::min(reported, 1.0);
    }
    m_displayed = fraction;
    return Clamp(((1.0 - m_scale) * fraction + m_scale) * 100.0);
}

std::wstring InstallProgress::Text(const std::wstring& pattern, int percent, float elapsedSeconds)
{
    if (!pattern.empty()) {
        // The layout's pattern is data, not code: only its one integer conversion is
        // filled in, so a stray %s cannot read past the arguments.
        std::wstring text = FormatFramePattern(pattern, percent);
        if (text.size() > 249) {
            text.resize(249);
        }
        return text;
    }
    const wchar_t* format = nullptr;
    if (elapsedSeconds > 60.0f) {
        format = L"正在安装中:%d%%，请耐心等待...";
    } else {
        format = L"正在安装中:%d%%，请稍候...";
    }
    wchar_t buffer[250] = {};
    _snwprintf(buffer, 249, format, percent);
    return buffer;
}
