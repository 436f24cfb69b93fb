#pragma once

#include <functional>

#include "session/RunIntent.h"

// "-uninstall=true" with a window: the skin's message windows ask whether to remove the
// product and say how the removal ended, in the skin's language table (the chosen language
// of the international skin). No main window is shown.
class RemovalWindowFace final : public Session::RunFace, private Session::InstallFace {
public:
    Session::InstallFace& Shows() override { return *this; }
    void Run(Session::SessionRun& run) override;

private:
    void WaitingForProduct(bool waiting) override;
    void ShowPackageMessage(const std::wstring&) override { }
    void Refused(const Session::Outcome& refusal) override;
    void Confirm() override;
    void Concluded(const Session::Outcome& outcome) override;
    // Shown from Run's own loop once the session's call has returned: a prompt's loop must
    // never run inside the session's step.
    void Later(std::function<void()> prompt) { m_prompt = std::move(prompt); }
    void TellAndEnd(const Session::Outcome& outcome);

    Session::SessionRun* m_run = nullptr;
    std::function<void()> m_prompt;
    bool m_done = false;
};
