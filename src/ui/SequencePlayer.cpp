#include "ui/SequencePlayer.h"

#include "toolkit/Attributes.h"

SequencePlayer::SequencePlayer(int interval, bool roundTrip)
    : m_interval(interval)
{
    m_stepper.roundTrip = roundTrip;
}

bool SequencePlayer::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    using Toolkit::EqualsNoCase;
    if (name == L"sequencebkimage") {
        m_pattern = value;
    } else if (EqualsNoCase(name, L"sequencecount")) {
        m_stepper.count = Toolkit::ParseInt(value);
    } else if (EqualsNoCase(name, L"sequencespan")) {
        m_interval = Toolkit::ParseInt(value);
    } else if (EqualsNoCase(name, L"sequenceloop")) {
        m_stepper.loop = SequenceBool(value);
    } else if (EqualsNoCase(name, L"autostart")) {
        m_autoStart = SequenceBool(value);
    } else if (EqualsNoCase(name, L"sequenceround")) {
        m_stepper.roundTrip = SequenceBool(value);
    } else {
        return false;
    }
    return true;
}

void SequencePlayer::Start(Toolkit::CControlUI& control)
{
    m_stepper.current = 0;
    control.SetTimer(TIMER_SEQUENCE, static_cast<UINT>(m_interval));
}

void SequencePlayer::Stop(Toolkit::CControlUI& control)
{
    control.KillTimer(TIMER_SEQUENCE);
}

void SequencePlayer::OnInit(Toolkit::CControlUI& control)
{
    if (m_autoStart) {
        control.SetTimer(TIMER_SEQUENCE, static_cast<UINT>(m_interval));
    }
}

void SequencePlayer::OnTimer(Toolkit::CControlUI& control, UINT id)
{
    if (id != TIMER_SEQUENCE || m_pattern.empty()) {
        return;
    }
    const SequenceStepper::Step step = m_stepper.Next();
    if (step.stopTimer) {
        control.KillTimer(TIMER_SEQUENCE);
    }
    if (step.frame) {
        control.SetBkImage(FormatFramePattern(m_pattern, *step.frame));
        control.Invalidate();
    }
}
