#include "toolkit/PaintManager.h"

#include <windowsx.h>

#include <algorithm>

#include "toolkit/AccessibleElements.h"
#include "toolkit/Attributes.h"
#include "toolkit/Control.h"
#include "toolkit/FocusCue.h"
#include "toolkit/FocusOrder.h"
#include "toolkit/ImageCache.h"
#include "toolkit/Painter.h"

namespace Toolkit {
namespace {

std::wstring Lower(std::wstring_view text)
{
    std::wstring result(text);
    for (auto& c : result) {
        c = static_cast<wchar_t>(::towlower(c));
    }
    return result;
}

// Windows of this thread, for the message loop's pre-translation.
std::vector<PaintManager*>& ThreadManagers()
{
    static thread_local std::vector<PaintManager*> managers;
    return managers;
}

} // namespace

PaintManager::PaintManager()
{
    ThreadManagers().push_back(this);
    // A window is coming: its first paint will decode images.
    ImageCache::Instance().WarmUp();
}

PaintManager::~PaintManager()
{
    auto& managers = ThreadManagers();
    managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
    for (const auto& timer : m_timers) {
        if (m_hwnd) {
            ::KillTimer(m_hwnd, timer.nativeId);
        }
    }
    m_timers.clear();
    ReleaseAccessible();
    // Controls unhook themselves from the manager while the tree goes away.
    m_root.reset();
}

void PaintManager::Init(HWND hwnd)
{
    m_hwnd = hwnd;
    m_fonts.SetDpi(WindowDpi(hwnd));
}

void PaintManager::SetDpi(UINT dpi)
{
    if (dpi == 0 || dpi == m_fonts.Dpi()) {
        return;
    }
    m_fonts.SetDpi(dpi);
    NeedUpdate();
}

void PaintManager::InitControls(CControlUI* control, CControlUI* parent)
{
    control->SetManager(this, parent);
    // Children first, so a container's DoInit sees initialised children.
    std::vector<CControlUI*> stack { control };
    std::vector<CControlUI*> order;
    while (!stack.empty()) {
        CControlUI* c = stack.back();
        stack.pop_back();
        order.push_back(c);
        for (int i = 0; i < c->GetChildCount(); ++i) {
            stack.push_back(c->GetChildAt(i));
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        (*it)->DoInit();
    }
    NeedUpdate();
}

void PaintManager::AttachRoot(std::unique_ptr<CControlUI> root)
{
    m_root = std::move(root);
    if (m_root) {
        InitControls(m_root.get(), nullptr);
    }
}

void PaintManager::ReapControl(CControlUI* control)
{
    if (m_hot == control) {
        m_hot = nullptr;
    }
    if (m_pressed == control) {
        m_pressed = nullptr;
    }
    if (m_focus == control) {
        m_focus = nullptr;
    }
    KillTimers(control);
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                          [control](const TNotifyUI& msg) { return msg.sender == control; }),
            m_queue.end());
    }
}

CControlUI* PaintManager::FindControl(std::wstring_view name) const
{
    return m_root && !name.empty() ? m_root->FindControl(name) : nullptr;
}

CControlUI* PaintManager::FindControlAt(POINT point) const
{
    return m_root ? m_root->FindControlAt(point) : nullptr;
}

void PaintManager::SetDefaultAttributes(const std::wstring& controlClass, std::wstring attributes)
{
    m_defaults[Lower(controlClass)] = std::move(attributes);
}

const std::wstring* PaintManager::GetDefaultAttributes(std::wstring_view controlClass) const
{
    const auto it = m_defaults.find(Lower(controlClass));
    return it == m_defaults.end() ? nullptr : &it->second;
}

void PaintManager::SetWindowAttribute(const std::wstring& name, std::wstring value)
{
    m_windowAttributes[Lower(name)] = std::move(value);
}

std::wstring PaintManager::GetWindowAttribute(std::wstring_view name) const
{
    const auto it = m_windowAttributes.find(Lower(name));
    return it == m_windowAttributes.end() ? std::wstring() : it->second;
}

SIZE PaintManager::MeasureText(const std::wstring& text, int fontId, bool singleLine, int maxWidth) const
{
    WindowDc screen(nullptr);
    UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    SelectedObject font(dc.get(), GetFont(fontId));
    RECT rect { 0, 0, maxWidth > 0 ? maxWidth : 0x7FFF, 0 };
    UINT format = DT_CALCRECT | DT_NOPREFIX | (singleLine ? DT_SINGLELINE : DT_WORDBREAK | DT_EDITCONTROL);
    const std::wstring& measured = text.empty() ? std::wstring(L" ") : text;
    ::DrawTextW(dc.get(), measured.c_str(), static_cast<int>(measured.size()), &rect, format);
    return SIZE { text.empty() ? 0 : rect.right - rect.left, rect.bottom - rect.top };
}

void PaintManager::NeedUpdate()
{
    m_needLayout = true;
    if (m_hwnd) {
        ::InvalidateRect(m_hwnd, nullptr, FALSE);
    }
}

void PaintManager::Invalidate(const RECT& rect)
{
    if (m_hwnd) {
        ::InvalidateRect(m_hwnd, &rect, FALSE);
    }
}

void PaintManager::AddNotifier(INotifyUI* notifier)
{
    if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end()) {
        m_notifiers.push_back(notifier);
    }
}

void PaintManager::RemoveNotifier(INotifyUI* notifier)
{
    m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), notifier), m_notifiers.end());
}

void PaintManager::SendNotify(CControlUI* sender, const std::wstring& type, WPARAM wParam, LPARAM lParam, bool async)
{
    TNotifyUI msg { type, sender, wParam, lParam, ::GetTickCount() };
    if (async) {
        {
            std::lock_guard lock(m_queueMutex);
            m_queue.push_back(std::move(msg));
        }
        if (m_hwnd) {
            ::PostMessageW(m_hwnd, WM_TOOLKIT_NOTIFY, 0, 0);
        }
        return;
    }
    // A notifier may remove itself (or others) while being told.
    const auto notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers) {
        if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) != m_notifiers.end()) {
            notifier->Notify(msg);
        }
    }
}

void PaintManager::DeliverQueuedNotifications()
{
    std::vector<TNotifyUI> queue;
    {
        std::lock_guard lock(m_queueMutex);
        queue.swap(m_queue);
    }
    for (auto& msg : queue) {
        SendNotify(msg.sender, msg.type, msg.wParam, msg.lParam, false);
    }
}

void PaintManager::AddMessageFilter(IMessageFilterUI* filter)
{
    if (std::find(m_filters.begin(), m_filters.end(), filter) == m_filters.end()) {
        m_filters.push_back(filter);
    }
}

void PaintManager::RemoveMessageFilter(IMessageFilterUI* filter)
{
    m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), filter), m_filters.end());
}

bool PaintManager::SetTimer(CControlUI* control, UINT id, UINT elapseMs)
{
    if (!m_hwnd || !control) {
        return false;
    }
    for (auto& timer : m_timers) {
        if (timer.control == control && timer.id == id) {
            return ::SetTimer(m_hwnd, timer.nativeId, elapseMs, nullptr) != 0;
        }
    }
    const UINT_PTR nativeId = m_nextTimerId++;
    if (!::SetTimer(m_hwnd, nativeId, elapseMs, nullptr)) {
        return false;
    }
    m_timers.push_back(TimerEntry { control, id, nativeId });
    return true;
}

void PaintManager::KillTimer(CControlUI* control, UINT id)
{
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
        if (it->control == control && it->id == id) {
            if (m_hwnd) {
                ::KillTimer(m_hwnd, it->nativeId);
            }
            m_timers.erase(it);
            return;
        }
    }
}

void PaintManager::KillTimers(CControlUI* control)
{
    for (auto it = m_timers.begin(); it != m_timers.end();) {
        if (it->control == control) {
            if (m_hwnd) {
                ::KillTimer(m_hwnd, it->nativeId);
            }
            it = m_timers.erase(it);
        } else {
            ++it;
        }
    }
}

void PaintManager::SetFocus(CControlUI* control)
{
    if (control == m_focus) {
        return;
    }
    if (control && (!control->IsVisible() || !control->IsEnabled())) {
        return;
    }
    InvalidateFocusCue();
    CControlUI* previous = m_focus;
    m_focus = control;
    if (previous) {
        ControlEvent event { EventType::KillFocus };
        previous->DoEvent(event);
    }
    if (m_focus) {
        // A hidden window takes the keyboard when it is shown and activated.
        if (!m_focus->GetNativeWindow() && m_hwnd && ::IsWindowVisible(m_hwnd) && ::GetFocus() != m_hwnd) {
            ::SetFocus(m_hwnd);
        }
        ControlEvent event { EventType::SetFocus };
        m_focus->DoEvent(event);
        InvalidateFocusCue();
        NotifyAccessible(EVENT_OBJECT_FOCUS, m_focus);
    } else if (m_hwnd && ::GetFocus() != m_hwnd && ::IsChild(m_hwnd, ::GetFocus())) {
        ::SetFocus(m_hwnd);
    }
}

void PaintManager::SetFocusCues(bool show)
{
    if (m_focusCues == show) {
        return;
    }
    m_focusCues = show;
    InvalidateFocusCue();
}

void PaintManager::InvalidateFocusCue()
{
    if (m_focus && m_focusCues) {
        Invalidate(FocusCueArea(m_focus->GetPos(), GetFocusCueScale()));
    }
}

void PaintManager::MoveFocus(bool forward)
{
    CControlUI* next = NextInFocusOrder(FocusOrder(m_root.get()), m_focus, forward);
    if (!next) {
        return;
    }
    SetFocusCues(true);
    SetFocus(next);
}

void PaintManager::NotifyAccessible(DWORD event, CControlUI* control) const
{
    if (!m_hwnd || !control || !m_root) {
        return;
    }
    LONG id = AccessibleChildId(m_root.get(), control);
    if (id == CHILDID_SELF && control != m_root.get() && event != EVENT_OBJECT_SHOW) {
        return;
    }
    ::NotifyWinEvent(event, m_hwnd, OBJID_CLIENT, id);
}

LRESULT PaintManager::AnswerGetObject(WPARAM wParam)
{
    if (!m_accessible) {
        // Remote clients reach the object through this thread's apartment.
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_comEntered = SUCCEEDED(com);
        m_accessible.reset(new AccessibleWindow(*this));
    }
    return ::LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(m_accessible.get()));
}

void PaintManager::RunDefaultAction(LONG childId)
{
    const auto children = AccessibleChildren(m_root.get());
    if (childId < 1 || static_cast<std::size_t>(childId) > children.size()) {
        return;
    }
    CControlUI* control = children[static_cast<std::size_t>(childId) - 1];
    if (control->GetNativeWindow()) {
        SetFocus(control);
    } else {
        control->Activate();
    }
}

void PaintManager::ReleaseAccessible()
{
    if (m_accessible) {
        m_accessible->Detach();
        m_accessible.reset();
    }
    if (m_comEntered) {
        ::CoUninitialize();
        m_comEntered = false;
    }
}

void PaintManager::RegisterNativeChild(HWND child, CControlUI* control)
{
    m_nativeChildren[child] = control;
}

void PaintManager::UnregisterNativeChild(HWND child)
{
    m_nativeChildren.erase(child);
}

void PaintManager::SetHot(CControlUI* control)
{
    if (control == m_hot) {
        return;
    }
    if (m_hot) {
        ControlEvent event { EventType::MouseLeave };
        m_hot->DoEvent(event);
    }
    m_hot = control;
    if (m_hot) {
        ControlEvent event { EventType::MouseEnter };
        m_hot->DoEvent(event);
    }
}

void PaintManager::Layout()
{
    m_needLayout = false;
    if (!m_root || !m_hwnd) {
        return;
    }
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    if (client.right <= client.left || client.bottom <= client.top) {
        return;
    }
    m_root->SetPos(client);
    // Layout never changes sizes on its own: settle any request made while arranging.
    m_needLayout = false;
}

void PaintManager::EnsureBackBuffer(int width, int height)
{
    if (m_backDc && m_backSize.cx == width && m_backSize.cy == height) {
        return;
    }
    if (m_backDc && m_backOldBitmap) {
        ::SelectObject(m_backDc.get(), m_backOldBitmap);
    }
    m_backBitmap.reset();
    m_backDc.reset();
    WindowDc screen(m_hwnd);
    m_backDc.reset(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_backBitmap.reset(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    m_backOldBitmap = m_backDc && m_backBitmap ? ::SelectObject(m_backDc.get(), m_backBitmap.get()) : nullptr;
    m_backSize = SIZE { width, height };
}

void PaintManager::PaintTree(Painter& painter, const RECT& dirty)
{
    m_root->DoPaint(painter, dirty);
    // Over everything, so no sibling or background covers the ring.
    if (m_focus && m_focusCues && m_focus->IsVisible()) {
        PaintFocusCue(painter, m_focus->GetPos(), m_focus->GetFocusCueColor(), GetFocusCueScale());
    }
}

void PaintManager::PaintInto(HDC dc)
{
    if (m_needLayout) {
        Layout();
    }
    if (!m_root) {
        return;
    }
    Painter painter(dc, GetScale());
    painter.FillColor(m_root->GetPos(), 0xFFFFFFFF);
    PaintTree(painter, m_root->GetPos());
}

void PaintManager::Paint()
{
    PaintScope paint(m_hwnd);
    if (m_needLayout) {
        Layout();
    }
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    const RECT& dirty = paint.area();
    if (!m_root || ::IsRectEmpty(&dirty)) {
        return;
    }
    EnsureBackBuffer(client.right, client.bottom);
    if (!m_backDc || !m_backBitmap) {
        return;
    }
    {
        Painter painter(m_backDc.get(), GetScale());
        Painter::Clip clip(painter, dirty);
        painter.FillColor(dirty, 0xFFFFFFFF);
        PaintTree(painter, dirty);
    }
    ::BitBlt(paint.dc(), dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top, m_backDc.get(),
        dirty.left, dirty.top, SRCCOPY);
}

bool PaintManager::RunFilters(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const auto filters = m_filters;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT r = filter->MessageHandler(message, wParam, lParam, handled);
        if (handled) {
            result = r;
            return true;
        }
    }
    return false;
}

bool PaintManager::TranslateMessage(const MSG& msg)
{
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) {
        return false;
    }
    for (PaintManager* manager : ThreadManagers()) {
        const HWND hwnd = manager->m_hwnd;
        if (!hwnd || msg.hwnd == hwnd || !::IsChild(hwnd, msg.hwnd)) {
            continue;
        }
        // A key for a native child (edit, combo) of a skinned window: filters and Tab
        // navigation still belong to the window.
        LRESULT ignored = 0;
        if (manager->RunFilters(msg.message, msg.wParam, msg.lParam, ignored)) {
            return true;
        }
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
            manager->MoveFocus(::GetKeyState(VK_SHIFT) >= 0);
            return true;
        }
        return false;
    }
    return false;
}

bool PaintManager::MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (!m_hwnd) {
        return false;
    }
    if (RunFilters(message, wParam, lParam, result)) {
        return true;
    }
    result = 0;
    switch (message) {
    case WM_PAINT:
        Paint();
        return true;
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_SIZE:
        if (m_root) {
            NeedUpdate();
        }
        return false;
    case WM_TOOLKIT_NOTIFY:
        DeliverQueuedNotifications();
        return true;
    case WM_TOOLKIT_DEFAULT_ACTION:
        RunDefaultAction(static_cast<LONG>(wParam));
        return true;
    case WM_GETOBJECT:
        // lParam may arrive sign-extended or not; other objects are the system's.
        if (static_cast<LONG>(lParam) != OBJID_CLIENT || !m_root) {
            return false;
        }
        result = AnswerGetObject(wParam);
        return true;
    case WM_DESTROY:
        ReleaseAccessible();
        return false;
    case WM_TIMER:
        for (const auto& timer : m_timers) {
            if (timer.nativeId == wParam) {
                ControlEvent event { EventType::Timer };
                event.wParam = timer.id;
                event.lParam = static_cast<LPARAM>(::GetTickCount());
                timer.control->DoEvent(event);
                return true;
            }
        }
        return false;
    case WM_MOUSEMOVE: {
        if (!m_trackingLeave) {
            TRACKMOUSEEVENT track { sizeof(track), TME_LEAVE, m_hwnd, 0 };
            m_trackingLeave = ::TrackMouseEvent(&track) != FALSE;
        }
        const POINT pt { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        CControlUI* over = FindControlAt(pt);
        if (over && !over->IsEnabled()) {
            over = nullptr;
        }
        if (m_pressed) {
            // While pressed only the pressed control is hot.
            SetHot(over == m_pressed ? m_pressed : nullptr);
            ControlEvent event { EventType::MouseMove, pt };
            m_pressed->DoEvent(event);
        } else {
            SetHot(over);
        }
        return true;
    }
    case WM_MOUSELEAVE:
        m_trackingLeave = false;
        if (!m_pressed) {
            SetHot(nullptr);
        }
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        const POINT pt { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        CControlUI* target = FindControlAt(pt);
        if (!target || !target->IsEnabled()) {
            return true;
        }
        SetFocusCues(false);
        if (target->IsFocusable()) {
            SetFocus(target);
        }
        m_pressed = target;
        ::SetCapture(m_hwnd);
        SetHot(target);
        ControlEvent event { EventType::ButtonDown, pt };
        target->DoEvent(event);
        return true;
    }
    case WM_LBUTTONUP: {
        const POINT pt { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
        CControlUI* pressed = m_pressed;
        m_pressed = nullptr;
        if (::GetCapture() == m_hwnd) {
            ::ReleaseCapture();
        }
        if (pressed) {
            ControlEvent event { EventType::ButtonUp, pt };
            pressed->DoEvent(event);
        }
        return true;
    }
    case WM_CAPTURECHANGED:
        if (m_pressed && reinterpret_cast<HWND>(lParam) != m_hwnd) {
            CControlUI* pressed = m_pressed;
            m_pressed = nullptr;
            ControlEvent event { EventType::ButtonUp, POINT { -1, -1 } };
            pressed->DoEvent(event);
        }
        return false;
    case WM_KEYDOWN:
        if (wParam == VK_TAB) {
            MoveFocus(::GetKeyState(VK_SHIFT) >= 0);
            return true;
        }
        if (m_focus) {
            SetFocusCues(true);
            ControlEvent event { EventType::KeyDown };
            event.wParam = wParam;
            event.lParam = lParam;
            m_focus->DoEvent(event);
            return true;
        }
        return false;
    case WM_KILLFOCUS:
        if (m_pressed) {
            CControlUI* pressed = m_pressed;
            m_pressed = nullptr;
            ControlEvent event { EventType::ButtonUp, POINT { -1, -1 } };
            pressed->DoEvent(event);
        }
        return false;
    case WM_COMMAND: {
        const auto it = m_nativeChildren.find(reinterpret_cast<HWND>(lParam));
        if (it != m_nativeChildren.end()) {
            it->second->OnNativeCommand(HIWORD(wParam));
            return true;
        }
        return false;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX: {
        const auto it = m_nativeChildren.find(reinterpret_cast<HWND>(lParam));
        if (it != m_nativeChildren.end()) {
            if (HBRUSH brush = it->second->OnNativeColor(reinterpret_cast<HDC>(wParam))) {
                result = reinterpret_cast<LRESULT>(brush);
                return true;
            }
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace Toolkit
