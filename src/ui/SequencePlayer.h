#pragma once

#include <string>
#include <string_view>

#include "toolkit/Control.h"
#include "ui/SequenceFrames.h"

// What the two sequence controls share: the "sequence..." attributes, the timer and the
// frame step that swaps the control's background image.
class SequencePlayer {
public:
    static constexpr UINT TIMER_SEQUENCE = 2100;

    SequencePlayer(int interval, bool roundTrip);

    // True when the attribute was one of the player's.
    bool SetAttribute(std::wstring_view name, std::wstring_view value);

    const std::wstring& Pattern() const noexcept { return m_pattern; }
    void SetPattern(std::wstring pattern) { m_pattern = std::move(pattern); }
    int Count() const noexcept { return m_stepper.count; }
    void SetCount(int count) { m_stepper.count = count; }
    int Interval() const noexcept { return m_interval; }
    void SetInterval(int interval) { m_interval = interval; }
    bool Loop() const noexcept { return m_stepper.loop; }
    bool RoundTrip() const noexcept { return m_stepper.roundTrip; }
    bool AutoStart() const noexcept { return m_autoStart; }
    bool Forward() const noexcept { return m_stepper.forward; }
    int CurrentFrame() const noexcept { return m_stepper.current; }

    // Restarts from frame 0 (the direction stays) and arms the timer.
    void Start(Toolkit::CControlUI& control);
    void Stop(Toolkit::CControlUI& control);
    void OnInit(Toolkit::CControlUI& control);
    void OnTimer(Toolkit::CControlUI& control, UINT id);

private:
    std::wstring m_pattern;
    int m_interval;
    bool m_autoStart = false;
    SequenceStepper m_stepper;
};
