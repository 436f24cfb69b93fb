#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "toolkit/DpiScale.h"
#include "toolkit/ImageRef.h"
#include "toolkit/Notify.h"

namespace Toolkit {

class PaintManager;
class Painter;

// The base of every control: a rect in the window, size wishes for the layout, a
// background (colour, image), a border, visibility and enabled state, text and user data.
// Controls are owned by their parent container; the root is owned by the PaintManager.
class CControlUI {
public:
    CControlUI() = default;
    virtual ~CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // Element name of the class ("Control", "Button", ...); GetInterface answers this
    // name (and those of the bases) with the object, anything else with nullptr.
    virtual std::wstring_view GetClass() const { return L"Control"; }
    virtual void* GetInterface(std::wstring_view name);

    // Tree.
    PaintManager* GetManager() const noexcept { return m_manager; }
    CControlUI* GetParent() const noexcept { return m_parent; }
    virtual void SetManager(PaintManager* manager, CControlUI* parent);
    virtual int GetChildCount() const { return 0; }
    virtual CControlUI* GetChildAt(int) const { return nullptr; }
    // Called once the control has joined a window whose native window exists.
    virtual void DoInit() { }

    const std::wstring& GetName() const noexcept { return m_name; }
    void SetName(std::wstring name) { m_name = std::move(name); }

    // Text.
    const std::wstring& GetText() const noexcept { return m_text; }
    virtual void SetText(const std::wstring& text);
    const std::wstring& GetTextId() const noexcept { return m_textId; }
    const std::wstring& GetUserData() const noexcept { return m_userData; }
    void SetUserData(std::wstring data) { m_userData = std::move(data); }
    const std::wstring& GetToolTip() const noexcept { return m_toolTip; }
    // What a screen reader calls the control ("accname"; empty: its text or tooltip) and
    // the role a layout asks for ("accrole", e.g. "link"; empty: the class decides).
    const std::wstring& GetAccName() const noexcept { return m_accName; }
    const std::wstring& GetAccRole() const noexcept { return m_accRole; }
    // "accnameid": the language-table entry that replaces accname when texts are applied.
    const std::wstring& GetAccNameId() const noexcept { return m_accNameId; }
    void SetAccName(std::wstring name) { m_accName = std::move(name); }

    // Geometry. GetPos is in the window's pixels; fixed sizes, padding and the float pos
    // are the layout's 96-dpi numbers, scaled by the window's scale when laid out.
    const RECT& GetPos() const noexcept { return m_rect; }
    // The display scale of the window the control is in (96 dpi before it joins one).
    DpiScale GetScale() const noexcept;
    virtual void SetPos(const RECT& rect);
    int GetFixedWidth() const noexcept { return m_fixed.cx; }
    int GetFixedHeight() const noexcept { return m_fixed.cy; }
    void SetFixedWidth(int width);
    void SetFixedHeight(int height);
    const RECT& GetPadding() const noexcept { return m_padding; }
    void SetPadding(const RECT& padding);
    bool IsFloat() const noexcept { return m_float; }
    const RECT& GetFloatPos() const noexcept { return m_floatPos; }
    // The size the layout should give the control in the window's pixels (0 on an axis: flexible).
    virtual SIZE EstimateSize(SIZE available);

    // State.
    bool IsVisible() const noexcept { return m_visible && m_internVisible; }
    bool IsOwnVisible() const noexcept { return m_visible; }
    virtual void SetVisible(bool visible);
    // Visibility handed down by an ancestor (a hidden container hides its children).
    virtual void SetInternVisible(bool visible);
    bool IsEnabled() const noexcept { return m_enabled; }
    virtual void SetEnabled(bool enabled);
    bool IsMouseEnabled() const noexcept { return m_mouseEnabled; }
    // Takes keyboard focus by Tab; buttons, check boxes and edits do.
    virtual bool IsFocusable() const { return false; }
    // Position in the Tab order ("tabindex"): positive ones first, ascending, then 0 in
    // tree order.
    int GetTabIndex() const noexcept { return m_tabIndex; }
    // Colour of the ring the window draws around the control while it has keyboard focus.
    virtual DWORD GetFocusCueColor() const { return 0xFF0076FF; }
    // Reacts to clicks (the window's caption area drags only where nothing does).
    virtual bool IsInteractive() const { return false; }
    bool IsFocused() const;
    void SetFocus();
    virtual bool Activate();

    // Look.
    DWORD GetBkColor() const noexcept { return m_bkColor; }
    void SetBkColor(DWORD argb);
    const std::wstring& GetBkImage() const noexcept { return m_bkImageText; }
    void SetBkImage(const std::wstring& image);

    // Applies one layout attribute; false when the name is unknown to this class.
    virtual bool SetAttribute(std::wstring_view name, std::wstring_view value);

    // Painting and events.
    virtual void DoPaint(Painter& painter, const RECT& dirty);
    virtual void DoEvent(ControlEvent& event);
    // The deepest visible control under the point that takes the mouse, or nullptr.
    virtual CControlUI* FindControlAt(POINT point);
    CControlUI* FindControl(std::wstring_view name);

    void Invalidate();
    // Asks the window for a new layout (size or visibility changed).
    void NeedUpdate();

    // Controls backed by a native child window (edit, combo) get its WM_COMMAND codes and
    // colour requests through these.
    virtual HWND GetNativeWindow() const { return nullptr; }
    virtual void OnNativeCommand(UINT) { }
    virtual HBRUSH OnNativeColor(HDC) { return nullptr; }

    // Per-control timers, delivered as EventType::Timer (and a "timer" notification).
    bool SetTimer(UINT id, UINT elapseMs);
    void KillTimer(UINT id);

protected:
    virtual void PaintBkColor(Painter& painter);
    virtual void PaintBkImage(Painter& painter);
    virtual void PaintStatusImage(Painter& painter);
    virtual void PaintText(Painter& painter);
    virtual void PaintBorder(Painter& painter);
    void SendNotify(const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0, bool async = false);

    PaintManager* m_manager = nullptr;
    CControlUI* m_parent = nullptr;
    std::wstring m_name;
    std::wstring m_text;
    std::wstring m_textId;
    std::wstring m_userData;
    std::wstring m_toolTip;
    std::wstring m_accName;
    std::wstring m_accRole;
    std::wstring m_accNameId;
    int m_tabIndex = 0;
    RECT m_rect {};
    SIZE m_fixed {};
    RECT m_padding {};
    bool m_float = false;
    RECT m_floatPos {};
    bool m_visible = true;
    bool m_internVisible = true;
    bool m_enabled = true;
    bool m_mouseEnabled = true;
    DWORD m_bkColor = 0;
    std::wstring m_bkImageText;
    ImageRef m_bkImage;
    DWORD m_borderColor = 0;
    int m_borderSize = 0;
    SIZE m_borderRound {};
};

} // namespace Toolkit
