#pragma once

#include "toolkit/Handles.h"
#include "toolkit/Label.h"

namespace Toolkit {

// A real Win32 edit control over the label's text rect, so typing, selection, the
// clipboard and IME behave as everywhere else. The background image is the skin's; the
// edit itself is drawn on "nativebkcolor". Sends "textchanged" on every change.
class CEditUI : public CLabelUI {
public:
    CEditUI();
    std::wstring_view GetClass() const override { return L"Edit"; }
    void* GetInterface(std::wstring_view name) override;

    bool IsFocusable() const override { return true; }
    bool IsInteractive() const override { return true; }
    HWND GetNativeWindow() const override { return m_edit.get(); }
    void SetReadOnly(bool readOnly);
    void SetMaxChar(int count);

    void DoInit() override;
    void SetText(const std::wstring& text) override;
    void SetPos(const RECT& rect) override;
    void SetVisible(bool visible) override;
    void SetInternVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoEvent(ControlEvent& event) override;
    void OnNativeCommand(UINT code) override;
    HBRUSH OnNativeColor(HDC dc) override;
    ~CEditUI() override;

protected:
    void PaintText(Painter&) override { }
    void PlaceNative();

    UniqueWindow m_edit;
    UniqueBrush m_nativeBrush;
    DWORD m_nativeBkColor = 0xFFFFFFFF;
    bool m_readOnly = false;
    int m_maxChar = 255;
    bool m_updatingText = false;
    HFONT m_appliedFont = nullptr;
};

} // namespace Toolkit
