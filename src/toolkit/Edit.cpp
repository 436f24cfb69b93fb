#include "toolkit/Edit.h"

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {

CEditUI::CEditUI()
{
    m_textPadding = RECT { 4, 0, 4, 0 };
}

CEditUI::~CEditUI()
{
    if (m_manager && m_edit) {
        m_manager->UnregisterNativeChild(m_edit.get());
    }
    if (m_edit && !::IsWindow(m_edit.get())) {
        (void)m_edit.release(); // already destroyed with its parent
    }
}

void* CEditUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Edit") ? this : CLabelUI::GetInterface(name);
}

void CEditUI::DoInit()
{
    if (m_edit || !m_manager || !m_manager->GetPaintWindow()) {
        return;
    }
    DWORD style = WS_CHILD | ES_AUTOHSCROLL | WS_CLIPSIBLINGS;
    if (m_readOnly) {
        style |= ES_READONLY;
    }
    m_edit.reset(::CreateWindowExW(0, L"EDIT", m_text.c_str(), style, 0, 0, 0, 0, m_manager->GetPaintWindow(), nullptr,
        ::GetModuleHandleW(nullptr), nullptr));
    if (!m_edit) {
        return;
    }
    m_appliedFont = m_manager->GetFont(m_font);
    ::SendMessageW(m_edit.get(), WM_SETFONT, reinterpret_cast<WPARAM>(m_appliedFont), FALSE);
    ::SendMessageW(m_edit.get(), EM_SETLIMITTEXT, static_cast<WPARAM>(m_maxChar), 0);
    ::SendMessageW(m_edit.get(), EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    ::EnableWindow(m_edit.get(), IsEnabled());
    m_manager->RegisterNativeChild(m_edit.get(), this);
    PlaceNative();
}

void CEditUI::PlaceNative()
{
    if (!m_edit) {
        return;
    }
    // A change of display scale makes the window's fonts anew.
    if (m_manager && m_manager->GetFont(m_font) != m_appliedFont) {
        m_appliedFont = m_manager->GetFont(m_font);
        ::SendMessageW(m_edit.get(), WM_SETFONT, reinterpret_cast<WPARAM>(m_appliedFont), TRUE);
    }
    RECT text = TextRect();
    int lineHeight = m_manager ? m_manager->MeasureText(L"Ag", m_font).cy + 2 : 16;
    lineHeight = std::min<int>(lineHeight, text.bottom - text.top);
    const int top = text.top + (text.bottom - text.top - lineHeight) / 2;
    ::SetWindowPos(m_edit.get(), nullptr, text.left, top, std::max<int>(0, text.right - text.left), lineHeight,
        SWP_NOZORDER | SWP_NOACTIVATE);
    const bool show = IsVisible() && text.right > text.left;
    ::ShowWindow(m_edit.get(), show ? SW_SHOWNA : SW_HIDE);
}

void CEditUI::SetText(const std::wstring& text)
{
    CLabelUI::SetText(text);
    if (m_edit && !m_updatingText) {
        m_updatingText = true;
        ::SetWindowTextW(m_edit.get(), text.c_str());
        m_updatingText = false;
    }
}

void CEditUI::SetPos(const RECT& rect)
{
    CLabelUI::SetPos(rect);
    PlaceNative();
}

void CEditUI::SetVisible(bool visible)
{
    CLabelUI::SetVisible(visible);
    PlaceNative();
}

void CEditUI::SetInternVisible(bool visible)
{
    CLabelUI::SetInternVisible(visible);
    PlaceNative();
}

void CEditUI::SetEnabled(bool enabled)
{
    CLabelUI::SetEnabled(enabled);
    if (m_edit) {
        ::EnableWindow(m_edit.get(), enabled);
    }
}

void CEditUI::SetReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    if (m_edit) {
        ::SendMessageW(m_edit.get(), EM_SETREADONLY, readOnly, 0);
    }
}

void CEditUI::SetMaxChar(int count)
{
    m_maxChar = count;
    if (m_edit) {
        ::SendMessageW(m_edit.get(), EM_SETLIMITTEXT, static_cast<WPARAM>(count), 0);
    }
}

bool CEditUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"readonly")) {
        SetReadOnly(ParseBool(value));
    } else if (EqualsNoCase(name, L"maxchar")) {
        SetMaxChar(ParseInt(value, 255));
    } else if (EqualsNoCase(name, L"nativebkcolor")) {
        m_nativeBkColor = ParseColor(value);
        m_nativeBrush.reset();
    } else {
        return CLabelUI::SetAttribute(name, value);
    }
    return true;
}

void CEditUI::DoEvent(ControlEvent& event)
{
    if (event.type == EventType::SetFocus && m_edit && ::GetFocus() != m_edit.get()) {
        ::SetFocus(m_edit.get());
        ::SendMessageW(m_edit.get(), EM_SETSEL, 0, -1);
        return;
    }
    if (event.type == EventType::ButtonDown && m_edit) {
        ::SetFocus(m_edit.get());
        return;
    }
    CLabelUI::DoEvent(event);
}

void CEditUI::OnNativeCommand(UINT code)
{
    if (code == EN_SETFOCUS && m_manager && m_manager->GetFocus() != this) {
        m_manager->SetFocus(this);
    } else if (code == EN_CHANGE && !m_updatingText) {
        const int length = ::GetWindowTextLengthW(m_edit.get());
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        ::GetWindowTextW(m_edit.get(), text.data(), length + 1);
        text.resize(static_cast<std::size_t>(length));
        m_text = std::move(text);
        SendNotify(L"textchanged");
    }
}

HBRUSH CEditUI::OnNativeColor(HDC dc)
{
    if (!m_nativeBrush) {
        m_nativeBrush.reset(::CreateSolidBrush(ToColorRef(m_nativeBkColor)));
    }
    ::SetTextColor(dc, ToColorRef(IsEnabled() ? (m_textColor ? m_textColor : 0xFF333333) : m_disabledTextColor));
    ::SetBkColor(dc, ToColorRef(m_nativeBkColor));
    return m_nativeBrush.get();
}

} // namespace Toolkit
