#include "toolkit/AccessibleWindow.h"

#include <string>

#include "toolkit/AccessibleElements.h"
#include "toolkit/Control.h"
#include "toolkit/PaintManager.h"

namespace Toolkit {
namespace {

HRESULT ReturnText(const std::wstring& text, BSTR* out)
{
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (text.empty()) {
        return S_FALSE;
    }
    *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

void SetLong(VARIANT* out, LONG value)
{
    ::VariantInit(out);
    out->vt = VT_I4;
    out->lVal = value;
}

} // namespace

AccessibleWindow::AccessibleWindow(PaintManager& manager)
    : m_manager(&manager)
    , m_thread(::GetCurrentThreadId())
{
}

HRESULT AccessibleWindow::QueryInterface(REFIID riid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IDispatch))
        || IsEqualIID(riid, __uuidof(IAccessible))) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG AccessibleWindow::AddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_refs));
}

ULONG AccessibleWindow::Release()
{
    const LONG left = ::InterlockedDecrement(&m_refs);
    if (left == 0) {
        delete this;
    }
    return static_cast<ULONG>(left);
}

HRESULT AccessibleWindow::GetTypeInfoCount(UINT* count)
{
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT AccessibleWindow::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    if (info) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

HRESULT AccessibleWindow::Usable() const
{
    if (::GetCurrentThreadId() != m_thread) {
        return RPC_E_WRONG_THREAD;
    }
    if (!m_manager || !m_manager->GetRoot() || !::IsWindow(m_manager->GetPaintWindow())) {
        return RPC_E_DISCONNECTED;
    }
    return S_OK;
}

HRESULT AccessibleWindow::Resolve(const VARIANT& child, CControlUI*& control) const
{
    control = nullptr;
    if (const HRESULT usable = Usable(); FAILED(usable)) {
        return usable;
    }
    if (child.vt != VT_I4) {
        return E_INVALIDARG;
    }
    if (child.lVal == CHILDID_SELF) {
        return S_OK;
    }
    const auto children = AccessibleChildren(m_manager->GetRoot());
    if (child.lVal < 1 || static_cast<std::size_t>(child.lVal) > children.size()) {
        return E_INVALIDARG;
    }
    control = children[static_cast<std::size_t>(child.lVal) - 1];
    return S_OK;
}

bool AccessibleWindow::WindowFocused() const
{
    const HWND hwnd = m_manager->GetPaintWindow();
    const HWND focus = ::GetFocus();
    return focus && (focus == hwnd || ::IsChild(hwnd, focus));
}

HRESULT AccessibleWindow::get_accParent(IDispatch** parent)
{
    if (!parent) {
        return E_POINTER;
    }
    *parent = nullptr;
    if (const HRESULT usable = Usable(); FAILED(usable)) {
        return usable;
    }
    return ::CreateStdAccessibleObject(
        m_manager->GetPaintWindow(), OBJID_WINDOW, __uuidof(IDispatch), reinterpret_cast<void**>(parent));
}

HRESULT AccessibleWindow::get_accChildCount(long* count)
{
    if (!count) {
        return E_POINTER;
    }
    *count = 0;
    if (const HRESULT usable = Usable(); FAILED(usable)) {
        return usable;
    }
    *count = static_cast<long>(AccessibleChildren(m_manager->GetRoot()).size());
    return S_OK;
}

HRESULT AccessibleWindow::get_accChild(VARIANT child, IDispatch** dispatch)
{
    if (!dispatch) {
        return E_POINTER;
    }
    *dispatch = nullptr;
    CControlUI* control = nullptr;
    const HRESULT hr = Resolve(child, control);
    // Children are simple elements: the caller talks to them through this object.
    return FAILED(hr) ? hr : S_FALSE;
}

HRESULT AccessibleWindow::get_accName(VARIANT child, BSTR* name)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (control) {
        return ReturnText(AccessibleName(*control), name);
    }
    const HWND hwnd = m_manager->GetPaintWindow();
    std::wstring title(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
    title.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, title.data(), static_cast<int>(title.size()))));
    return ReturnText(title, name);
}

HRESULT AccessibleWindow::get_accValue(VARIANT child, BSTR* value)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (!control) {
        return value ? (*value = nullptr, DISP_E_MEMBERNOTFOUND) : E_POINTER;
    }
    return ReturnText(AccessibleValue(*control), value);
}

HRESULT AccessibleWindow::get_accDescription(VARIANT child, BSTR* description)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    return ReturnText(std::wstring(), description);
}

HRESULT AccessibleWindow::get_accRole(VARIANT child, VARIANT* role)
{
    if (!role) {
        return E_POINTER;
    }
    ::VariantInit(role);
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    SetLong(role, control ? AccessibleRole(*control) : ROLE_SYSTEM_CLIENT);
    return S_OK;
}

HRESULT AccessibleWindow::get_accState(VARIANT child, VARIANT* state)
{
    if (!state) {
        return E_POINTER;
    }
    ::VariantInit(state);
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (control) {
        SetLong(state, AccessibleState(*control, WindowFocused()));
        return S_OK;
    }
    const HWND hwnd = m_manager->GetPaintWindow();
    LONG flags = STATE_SYSTEM_FOCUSABLE;
    if (::GetFocus() == hwnd) {
        flags |= STATE_SYSTEM_FOCUSED;
    }
    if (!::IsWindowVisible(hwnd)) {
        flags |= STATE_SYSTEM_INVISIBLE;
    }
    SetLong(state, flags);
    return S_OK;
}

HRESULT AccessibleWindow::get_accHelp(VARIANT child, BSTR* help)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    return ReturnText(std::wstring(), help);
}

HRESULT AccessibleWindow::get_accHelpTopic(BSTR* file, VARIANT, long* topic)
{
    if (file) {
        *file = nullptr;
    }
    if (topic) {
        *topic = 0;
    }
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT AccessibleWindow::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    return ReturnText(std::wstring(), shortcut);
}

HRESULT AccessibleWindow::get_accFocus(VARIANT* focus)
{
    if (!focus) {
        return E_POINTER;
    }
    ::VariantInit(focus);
    if (const HRESULT usable = Usable(); FAILED(usable)) {
        return usable;
    }
    if (!WindowFocused()) {
        return S_FALSE;
    }
    CControlUI* focused = m_manager->GetFocus();
    SetLong(focus, focused ? AccessibleChildId(m_manager->GetRoot(), focused) : CHILDID_SELF);
    return S_OK;
}

HRESULT AccessibleWindow::get_accSelection(VARIANT* selection)
{
    if (!selection) {
        return E_POINTER;
    }
    ::VariantInit(selection);
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT AccessibleWindow::get_accDefaultAction(VARIANT child, BSTR* action)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (!control) {
        return action ? (*action = nullptr, DISP_E_MEMBERNOTFOUND) : E_POINTER;
    }
    return ReturnText(AccessibleDefaultAction(*control), action);
}

HRESULT AccessibleWindow::accSelect(long flags, VARIANT child)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (flags != SELFLAG_TAKEFOCUS || !control) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!control->IsFocusable() || !control->IsVisible() || !control->IsEnabled()) {
        return E_FAIL;
    }
    control->SetFocus();
    return S_OK;
}

HRESULT AccessibleWindow::accLocation(long* left, long* top, long* width, long* height, VARIANT child)
{
    if (!left || !top || !width || !height) {
        return E_POINTER;
    }
    *left = *top = *width = *height = 0;
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    const HWND hwnd = m_manager->GetPaintWindow();
    RECT rect {};
    if (control) {
        rect = control->GetPos();
    } else {
        ::GetClientRect(hwnd, &rect);
    }
    POINT origin { rect.left, rect.top };
    ::ClientToScreen(hwnd, &origin);
    *left = origin.x;
    *top = origin.y;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

HRESULT AccessibleWindow::accNavigate(long direction, VARIANT start, VARIANT* end)
{
    if (!end) {
        return E_POINTER;
    }
    ::VariantInit(end);
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(start, control); FAILED(hr)) {
        return hr;
    }
    const long count = static_cast<long>(AccessibleChildren(m_manager->GetRoot()).size());
    long target = 0;
    switch (direction) {
    case NAVDIR_FIRSTCHILD:
        target = control ? 0 : 1;
        break;
    case NAVDIR_LASTCHILD:
        target = control ? 0 : count;
        break;
    case NAVDIR_NEXT:
    case NAVDIR_DOWN:
    case NAVDIR_RIGHT:
        target = control ? start.lVal + 1 : 0;
        break;
    case NAVDIR_PREVIOUS:
    case NAVDIR_UP:
    case NAVDIR_LEFT:
        target = control ? start.lVal - 1 : 0;
        break;
    default:
        return E_INVALIDARG;
    }
    if (target < 1 || target > count) {
        return S_FALSE;
    }
    SetLong(end, target);
    return S_OK;
}

HRESULT AccessibleWindow::accHitTest(long x, long y, VARIANT* child)
{
    if (!child) {
        return E_POINTER;
    }
    ::VariantInit(child);
    if (const HRESULT usable = Usable(); FAILED(usable)) {
        return usable;
    }
    const HWND hwnd = m_manager->GetPaintWindow();
    POINT point { x, y };
    ::ScreenToClient(hwnd, &point);
    RECT client;
    ::GetClientRect(hwnd, &client);
    if (!::PtInRect(&client, point)) {
        return S_FALSE;
    }
    // The last exposed control in tree order lies on top.
    const auto children = AccessibleChildren(m_manager->GetRoot());
    LONG hit = CHILDID_SELF;
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i]->IsVisible() && ::PtInRect(&children[i]->GetPos(), point)) {
            hit = static_cast<LONG>(i) + 1;
        }
    }
    SetLong(child, hit);
    return S_OK;
}

HRESULT AccessibleWindow::accDoDefaultAction(VARIANT child)
{
    CControlUI* control = nullptr;
    if (const HRESULT hr = Resolve(child, control); FAILED(hr)) {
        return hr;
    }
    if (!control || AccessibleDefaultAction(*control).empty()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    if (!control->IsVisible() || !control->IsEnabled()) {
        return E_FAIL;
    }
    // Posted: a click may open a modal prompt, which must not run inside the client's call.
    return ::PostMessageW(m_manager->GetPaintWindow(), WM_TOOLKIT_DEFAULT_ACTION, static_cast<WPARAM>(child.lVal), 0)
        ? S_OK
        : E_FAIL;
}

HRESULT AccessibleWindow::put_accName(VARIANT, BSTR)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT AccessibleWindow::put_accValue(VARIANT, BSTR)
{
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace Toolkit
