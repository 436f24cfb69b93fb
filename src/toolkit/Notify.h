#pragma once

#include <windows.h>

#include <string>

namespace Toolkit {

class CControlUI;

// A named notification from a control to the window ("click", "selectchanged",
// "tabselect", "timer", "itemselect", "textchanged" or a custom name).
struct TNotifyUI {
    std::wstring type;
    CControlUI* sender = nullptr;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD timestamp = 0;
};

class INotifyUI {
public:
    virtual void Notify(TNotifyUI& msg) = 0;

protected:
    ~INotifyUI() = default;
};

// Sees window messages before the toolkit dispatches them; set handled to swallow one.
class IMessageFilterUI {
public:
    virtual LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) = 0;

protected:
    ~IMessageFilterUI() = default;
};

// Creates controls for element names the toolkit does not know; nullptr when it cannot.
class IDialogBuilderCallback {
public:
    virtual CControlUI* CreateControl(const wchar_t* className) = 0;

protected:
    ~IDialogBuilderCallback() = default;
};

// What the dispatcher hands to a control.
enum class EventType {
    MouseEnter,
    MouseLeave,
    MouseMove,
    ButtonDown,
    ButtonUp,
    KeyDown,
    SetFocus,
    KillFocus,
    Timer,
};

struct ControlEvent {
    EventType type;
    POINT point {};
    WPARAM wParam = 0; // key code, timer id
    LPARAM lParam = 0;
};

} // namespace Toolkit
