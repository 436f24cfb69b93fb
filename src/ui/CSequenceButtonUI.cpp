#include "ui/CSequenceButtonUI.h"

CSequenceButtonUI::CSequenceButtonUI()
    : m_player(60, true)
{
}

CSequenceButtonUI::~CSequenceButtonUI()
{
    KillTimer(TIMER_SEQUENCE);
}

void* CSequenceButtonUI::GetInterface(std::wstring_view name)
{
    return name == L"SequenceButton" ? this : CButtonUI::GetInterface(name);
}

bool CSequenceButtonUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    return m_player.SetAttribute(name, value) || CButtonUI::SetAttribute(name, value);
}

void CSequenceButtonUI::DoInit()
{
    CButtonUI::DoInit();
    m_player.OnInit(*this);
}

void CSequenceButtonUI::DoEvent(Toolkit::ControlEvent& event)
{
    CButtonUI::DoEvent(event);
    if (event.type == Toolkit::EventType::Timer) {
        m_player.OnTimer(*this, static_cast<UINT>(event.wParam));
    }
}
