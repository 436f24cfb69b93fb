#include "toolkit/Combo.h"

#include "toolkit/Attributes.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

CComboUI::~CComboUI()
{
    if (m_manager && m_combo) {
        m_manager->UnregisterNativeChild(m_combo.get());
    }
    if (m_combo && !::IsWindow(m_combo.get())) {
        (void)m_combo.release(); // already destroyed with its parent
    }
}

void* CComboUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Combo") ? this : CLabelUI::GetInterface(name);
}

int CComboUI::AddItem(const std::wstring& text)
{
    m_items.push_back(text);
    if (m_combo) {
        ::SendMessageW(m_combo.get(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    return GetCount() - 1;
}

const std::wstring& CComboUI::GetItemText(int index) const
{
    static const std::wstring empty;
    return index >= 0 && index < GetCount() ? m_items[static_cast<std::size_t>(index)] : empty;
}

bool CComboUI::SelectItem(int index, bool sendNotify)
{
    if (index < -1 || index >= GetCount()) {
        return false;
    }
    const int previous = m_selected;
    m_selected = index;
    if (m_combo) {
        ::SendMessageW(m_combo.get(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    }
    if (sendNotify) {
        SendNotify(L"itemselect", static_cast<WPARAM>(index), previous);
    }
    return true;
}

void CComboUI::DoInit()
{
    if (m_combo || !m_manager || !m_manager->GetPaintWindow()) {
        return;
    }
    m_combo.reset(::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VSCROLL | CBS_DROPDOWNLIST | WS_CLIPSIBLINGS, 0,
        0, 0, 0, m_manager->GetPaintWindow(), nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!m_combo) {
        return;
    }
    m_appliedFont = m_manager->GetFont(m_font);
    ::SendMessageW(m_combo.get(), WM_SETFONT, reinterpret_cast<WPARAM>(m_appliedFont), FALSE);
    for (const auto& item : m_items) {
        ::SendMessageW(m_combo.get(), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    ::SendMessageW(m_combo.get(), CB_SETCURSEL, static_cast<WPARAM>(m_selected), 0);
    ::EnableWindow(m_combo.get(), IsEnabled());
    m_manager->RegisterNativeChild(m_combo.get(), this);
    PlaceNative();
}

void CComboUI::PlaceNative()
{
    if (!m_combo) {
        return;
    }
    // A change of display scale makes the window's fonts anew.
    if (m_manager && m_manager->GetFont(m_font) != m_appliedFont) {
        m_appliedFont = m_manager->GetFont(m_font);
        ::SendMessageW(m_combo.get(), WM_SETFONT, reinterpret_cast<WPARAM>(m_appliedFont), TRUE);
    }
    ::SetWindowPos(m_combo.get(), nullptr, m_rect.left, m_rect.top, m_rect.right - m_rect.left,
        m_rect.bottom - m_rect.top + GetScale()(m_dropHeight), SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(m_combo.get(), IsVisible() && m_rect.right > m_rect.left ? SW_SHOWNA : SW_HIDE);
}

void CComboUI::SetPos(const RECT& rect)
{
    CLabelUI::SetPos(rect);
    PlaceNative();
}

void CComboUI::SetVisible(bool visible)
{
    CLabelUI::SetVisible(visible);
    PlaceNative();
}

void CComboUI::SetInternVisible(bool visible)
{
    CLabelUI::SetInternVisible(visible);
    PlaceNative();
}

void CComboUI::SetEnabled(bool enabled)
{
    CLabelUI::SetEnabled(enabled);
    if (m_combo) {
        ::EnableWindow(m_combo.get(), enabled);
    }
}

bool CComboUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"dropheight")) {
        m_dropHeight = ParseInt(value, 200);
    } else if (EqualsNoCase(name, L"selectedid")) {
        m_selected = ParseInt(value, -1);
    } else {
        return CLabelUI::SetAttribute(name, value);
    }
    return true;
}

void CComboUI::DoEvent(ControlEvent& event)
{
    if (event.type == EventType::SetFocus && m_combo && ::GetFocus() != m_combo.get()) {
        ::SetFocus(m_combo.get());
        return;
    }
    CLabelUI::DoEvent(event);
}

void CComboUI::OnNativeCommand(UINT code)
{
    if (code == CBN_SETFOCUS && m_manager && m_manager->GetFocus() != this) {
        m_manager->SetFocus(this);
    } else if (code == CBN_SELCHANGE) {
        const int index = static_cast<int>(::SendMessageW(m_combo.get(), CB_GETCURSEL, 0, 0));
        const int previous = m_selected;
        m_selected = index;
        SendNotify(L"itemselect", static_cast<WPARAM>(index), previous);
    }
}

} // namespace Toolkit
