#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/AccessibleWindow.h"
#include "toolkit/DpiScale.h"
#include "toolkit/FontTable.h"
#include "toolkit/Handles.h"
#include "toolkit/Notify.h"

namespace Toolkit {

class CControlUI;
class Painter;

// One per window: owns the control tree, fonts and defaults of the layout, and is the
// window's single dispatcher (painting into a back buffer, mouse and keyboard, focus,
// timers, notifications, message filters). UI thread only, except SendNotify(async).
class PaintManager {
public:
    PaintManager();
    ~PaintManager();
    PaintManager(const PaintManager&) = delete;
    PaintManager& operator=(const PaintManager&) = delete;

    void Init(HWND hwnd);
    HWND GetPaintWindow() const noexcept { return m_hwnd; }

    // The window's display scale: what every 96-dpi number of the layout is multiplied by.
    DpiScale GetScale() const noexcept { return DpiScale { m_fonts.Dpi() }; }
    // The window now shows at dpi: fonts are made anew and the tree is laid out again.
    void SetDpi(UINT dpi);

    // Takes the tree, joins every control to this window and lays it out on the next paint.
    void AttachRoot(std::unique_ptr<CControlUI> root);
    CControlUI* GetRoot() const noexcept { return m_root.get(); }
    CControlUI* FindControl(std::wstring_view name) const;
    CControlUI* FindControlAt(POINT point) const;
    // Lets a control joining later (added at run time) become known to the window.
    void InitControls(CControlUI* control, CControlUI* parent);
    // A control is going away: drop every reference the window keeps to it.
    void ReapControl(CControlUI* control);

    // Layout-level data.
    FontTable& Fonts() noexcept { return m_fonts; }
    HFONT GetFont(int id) const { return m_fonts.Get(id); }
    void SetDefaultAttributes(const std::wstring& controlClass, std::wstring attributes);
    const std::wstring* GetDefaultAttributes(std::wstring_view controlClass) const;
    void SetWindowAttribute(const std::wstring& name, std::wstring value);
    // A Window element attribute of the layout ("showshadow", "shadowsize", ...), or empty.
    std::wstring GetWindowAttribute(std::wstring_view name) const;
    SIZE GetInitSize() const noexcept { return m_initSize; }
    void SetInitSize(SIZE size) { m_initSize = size; }
    const RECT& GetCaptionRect() const noexcept { return m_caption; }
    void SetCaptionRect(const RECT& rect) { m_caption = rect; }
    SIZE GetRoundCorner() const noexcept { return m_roundCorner; }
    void SetRoundCorner(SIZE size) { m_roundCorner = size; }
    DWORD GetDefaultTextColor() const noexcept { return m_defaultTextColor; }
    void SetDefaultTextColor(DWORD argb) { m_defaultTextColor = argb; }

    // Size of a text in a font of this window; singleLine false wraps at maxWidth.
    SIZE MeasureText(const std::wstring& text, int fontId, bool singleLine = true, int maxWidth = 0) const;

    void NeedUpdate();
    void Invalidate(const RECT& rect);

    // Notifications. Synchronous ones reach the notifiers before SendNotify returns;
    // asynchronous ones are queued and delivered by the window's thread (any thread may
    // queue them).
    void AddNotifier(INotifyUI* notifier);
    void RemoveNotifier(INotifyUI* notifier);
    void SendNotify(
        CControlUI* sender, const std::wstring& type, WPARAM wParam = 0, LPARAM lParam = 0, bool async = false);

    void AddMessageFilter(IMessageFilterUI* filter);
    void RemoveMessageFilter(IMessageFilterUI* filter);

    bool SetTimer(CControlUI* control, UINT id, UINT elapseMs);
    void KillTimer(CControlUI* control, UINT id);
    void KillTimers(CControlUI* control);

    CControlUI* GetFocus() const noexcept { return m_focus; }
    void SetFocus(CControlUI* control);
    bool ShowsFocusCues() const noexcept { return m_focusCues; }
    // Moves focus to the next (or previous) focusable control, as Tab does.
    void MoveFocus(bool forward);
    // Display scale the focus ring is drawn at (1.0: 96 dpi).
    double GetFocusCueScale() const noexcept { return GetScale().Factor(); }

    // Tells screen readers (NotifyWinEvent) that something about a control changed; a page
    // or control they do not see is reported as the window's client area for EVENT_OBJECT_SHOW.
    void NotifyAccessible(DWORD event, CControlUI* control) const;

    // Native child windows (edit, combo) report through their parent: register them.
    void RegisterNativeChild(HWND child, CControlUI* control);
    void UnregisterNativeChild(HWND child);

    // The dispatcher; true when the message was handled (result in `result`).
    bool MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Runs the filters of this window on a message (used by the dispatcher and by the
    // message loop for messages to its child windows); true when swallowed.
    bool RunFilters(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // For a message loop: lets the window owning msg.hwnd filter keyboard messages aimed at
    // its native child windows (Tab navigation, filters). True when the message was used.
    static bool TranslateMessage(const MSG& msg);

    // Lays the tree out over the client area now (normally done before the next paint).
    void UpdateLayout() { Layout(); }

    // Paints the whole tree into a DC the size of the client area (tests, screenshots).
    void PaintInto(HDC dc);

private:
    struct TimerEntry {
        CControlUI* control;
        UINT id;
        UINT_PTR nativeId;
    };

    void Layout();
    void Paint();
    void PaintTree(Painter& painter, const RECT& dirty);
    void EnsureBackBuffer(int width, int height);
    void SetHot(CControlUI* control);
    void DeliverQueuedNotifications();
    void SetFocusCues(bool show);
    void InvalidateFocusCue();
    LRESULT AnswerGetObject(WPARAM wParam);
    void RunDefaultAction(LONG childId);
    void ReleaseAccessible();

    HWND m_hwnd = nullptr;
    std::unique_ptr<CControlUI> m_root;
    FontTable m_fonts;
    std::map<std::wstring, std::wstring> m_defaults; // lower-case class name -> attribute list
    std::map<std::wstring, std::wstring> m_windowAttributes; // lower-case names
    SIZE m_initSize {};
    RECT m_caption {};
    SIZE m_roundCorner {};
    DWORD m_defaultTextColor = 0xFF000000;

    bool m_needLayout = true;
    UniqueMemoryDc m_backDc;
    UniqueBitmap m_backBitmap;
    HGDIOBJ m_backOldBitmap = nullptr;
    SIZE m_backSize {};

    std::vector<INotifyUI*> m_notifiers;
    std::vector<IMessageFilterUI*> m_filters;
    std::vector<TimerEntry> m_timers;
    UINT_PTR m_nextTimerId = 0x1000;
    std::map<HWND, CControlUI*> m_nativeChildren;

    CControlUI* m_hot = nullptr;
    CControlUI* m_pressed = nullptr;
    CControlUI* m_focus = nullptr;
    bool m_focusCues = false;
    bool m_trackingLeave = false;

    std::unique_ptr<AccessibleWindow, ComRelease> m_accessible;
    bool m_comEntered = false;

    std::mutex m_queueMutex;
    std::vector<TNotifyUI> m_queue;
};

// Private message the window posts itself to deliver queued notifications.
inline constexpr UINT WM_TOOLKIT_NOTIFY = WM_APP + 0x3A1;
// Posted by the accessible object: run the default action of child id wParam.
inline constexpr UINT WM_TOOLKIT_DEFAULT_ACTION = WM_APP + 0x3A2;

} // namespace Toolkit
