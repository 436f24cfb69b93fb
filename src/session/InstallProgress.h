#pragma once

// Places the stages on one 0..100 bar, in the order they run: the download fills the first
// part of the DownloadScale share, the removal of an older version (when there is one) the
// rest of it, and the package the remaining 1 - DownloadScale. Within one installation the
// bar never moves back (Begin starts a new one).
class InstallProgress {
public:
    // The removal's share of the bar: a tenth, but never more than half the download's.
    static constexpr double kRemovalShare = 0.1;

    explicit InstallProgress(double downloadScale);

    // A new installation: the bar may start from 0 again; removes tells whether an older
    // version is removed between the download and the package.
    void Begin(bool removes);

    int DownloadPercent(double progress);
    int RemovalPercent(double progress);
    // Each package report moves the bar by at least 15 % of the package share, up to 95 % of
    // it, and a higher reported value takes over. The displayed fraction is never reset.
    int InstallPercent(double reported);

private:
    static int Clamp(double percent);
    int Forward(int percent);
    double RemovalShare() const;

    double m_scale;
    bool m_removes = false;
    double m_displayed = 0.0;
    int m_shown = 0;
};
