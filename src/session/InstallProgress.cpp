#include "session/InstallProgress.h"

#include <algorithm>
#include <cmath>

InstallProgress::InstallProgress(double downloadScale)
    // The setting is not range-checked where it is read; the bar must stay within 0..100.
    : m_scale(std::isfinite(downloadScale) ? std::clamp(downloadScale, 0.0, 1.0) : 0.7)
{
}

void InstallProgress::Begin(bool removes)
{
    m_removes = removes;
    m_shown = 0;
}

int InstallProgress::Clamp(double percent)
{
    if (!(percent > 0.0)) {
        return 0;
    }
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

int InstallProgress::Forward(int percent)
{
    m_shown = std::max(m_shown, percent);
    return m_shown;
}

double InstallProgress::RemovalShare() const
{
    return m_removes ? std::min(kRemovalShare, m_scale / 2.0) : 0.0;
}

int InstallProgress::DownloadPercent(double progress)
{
    const double fraction = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    return Forward(Clamp(fraction * (m_scale - RemovalShare()) * 100.0));
}

int InstallProgress::RemovalPercent(double progress)
{
    const double fraction = std::isfinite(progress) ? std::clamp(progress, 0.0, 1.0) : 0.0;
    return Forward(Clamp((m_scale - RemovalShare() + fraction * RemovalShare()) * 100.0));
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
    return Forward(Clamp(((1.0 - m_scale) * fraction + m_scale) * 100.0));
}
