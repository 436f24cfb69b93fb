#pragma once

#include "session/RunIntent.h"

namespace App {

// Quiet mode's face, for an install, a removal and a layout alike: the settings answer every
// question, and what a window would have said goes to the log.
class QuietFace final : public Session::RunFace, private Session::InstallFace {
public:
    Session::InstallFace& Shows() override { return *this; }
    void Run(Session::SessionRun& run) override;

private:
    void WaitingForProduct(bool waiting) override;
    void ShowPackageMessage(const std::wstring& text) override;
    void Refused(const Session::Outcome& refusal) override;
    void Confirm() override;
    void Concluded(const Session::Outcome& outcome) override;

    Session::SessionRun* m_run = nullptr;
    bool m_removal = false;
    bool m_layout = false;
    bool m_done = false;
};

} // namespace App
