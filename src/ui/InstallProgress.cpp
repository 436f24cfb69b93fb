#include "ui/InstallProgress.h"

#include "ui/SequenceFrames.h"
#include "ui/UiTexts.h"

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
    // The layout's pattern, else the built-in one or its translation. Each is data, not
    // code: only its one integer conversion is filled in, so a stray %s cannot read past
    // the arguments.
    const std::wstring format = !pattern.empty()
        ? pattern
        : LocalText(elapsedSeconds > 60.0f ? UiTexts::kProgressLong : UiTexts::kProgressShort);
    std::wstring text = FormatFramePattern(format, percent);
    if (text.size() > 249) {
        text.resize(249);
    }
    return text;
}
