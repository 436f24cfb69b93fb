#include "ui/CSequenceLabelUI.h"

CSequenceLabelUI::CSequenceLabelUI()
    : m_player(30, false)
{
}

CSequenceLabelUI::~CSequenceLabelUI()
{
    KillTimer(TIMER_SEQUENCE);
}

void* CSequenceLabelUI::GetInterface(std::wstring_view name)
{
    return name == L"SequenceLabel" ? this : CLabelUI::GetInterface(name);
}

bool CSequenceLabelUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    return m_player.SetAttribute(name, value) || CLabelUI::SetAttribute(name, value);
}

void CSequenceLabelUI::DoInit()
{
    CLabelUI::DoInit();
    m_player.OnInit(*this);
}

void CSequenceLabelUI::DoEvent(Toolkit::ControlEvent& event)
{
    CLabelUI::DoEvent(event);
    if (event.type == Toolkit::EventType::Timer) {
        m_player.OnTimer(*this, static_cast<UINT>(event.wParam));
    }
}
