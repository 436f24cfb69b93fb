#include "toolkit/WindowImplBase.h"

#include <windowsx.h>

#include "toolkit/Attributes.h"
#include "toolkit/Diagnostics.h"
#include "toolkit/MarkupBuilder.h"
#include "toolkit/TextTable.h"
#include "toolkit/SkinArchive.h"

namespace Toolkit {

WindowImplBase::~WindowImplBase()
{
    // Destroy the window while this object (and its manager) still exist.
    if (m_hwnd && ::IsWindow(m_hwnd)) {
        ::DestroyWindow(m_hwnd);
    }
}

void WindowImplBase::Notify(TNotifyUI& msg)
{
    if (msg.type == L"click") {
        OnClick(msg);
    }
}

void WindowImplBase::OnClick(TNotifyUI& msg)
{
    if (!msg.sender) {
        return;
    }
    const std::wstring& name = msg.sender->GetName();
    if (name == L"closebtn") {
        Close(IDCLOSE);
    } else if (name == L"minbtn") {
        ::SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    } else if (name == L"maxbtn") {
        ::SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    } else if (name == L"restorebtn") {
        ::SendMessageW(m_hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
    }
}

LRESULT WindowImplBase::MessageHandler(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

LRESULT WindowImplBase::HandleCustomMessage(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = false;
    return 0;
}

LRESULT WindowImplBase::OnCreate(UINT, WPARAM, LPARAM, bool& handled)
{
    handled = true;
    m_loadError.clear();
    m_pm.Init(m_hwnd);
    if (GetResourceType() != ResourceKind::ZipResource) {
        m_loadError = L"only layouts from the skin resource are supported";
    } else {
        SetSkinSource(SkinSource { nullptr, GetResourceID() });
    }
    std::unique_ptr<CControlUI> root;
    if (m_loadError.empty()) {
        std::wstring file = GetSkinFolder();
        if (!file.empty() && file.back() != L'\\' && file.back() != L'/') {
            file += L'/';
        }
        file += GetSkinFile();
        root = MarkupBuilder::BuildFromSkin(file, m_pm, this, &m_loadError);
    }
    if (!root) {
        Diagnostic(L"window '" + GetWindowClassName() + L"' not created: " + m_loadError);
        return -1;
    }
    m_pm.AddNotifier(this);
    m_pm.AddMessageFilter(this);

    const SIZE size = ScaledInitSize();
    if (size.cx > 0 && size.cy > 0) {
        ::SetWindowPos(m_hwnd, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // A window opened after a language was chosen shows that language from the start.
    ApplyLanguageTexts(root.get());
    m_pm.AttachRoot(std::move(root));
    InitWindow();
    return 0;
}

LRESULT WindowImplBase::OnNcHitTest(UINT, WPARAM, LPARAM lParam, bool& handled)
{
    handled = true;
    POINT pt { GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam) };
    ::ScreenToClient(m_hwnd, &pt);
    RECT client;
    ::GetClientRect(m_hwnd, &client);
    const RECT caption = m_pm.GetScale().Rect(m_pm.GetCaptionRect());
    const RECT area { client.left + caption.left, client.top + caption.top,
        caption.right > 0 ? client.right - caption.right : client.right, client.top + caption.bottom };
    if (::PtInRect(&area, pt)) {
        CControlUI* control = m_pm.FindControlAt(pt);
        if (!control || !control->IsInteractive()) {
            return HTCAPTION;
        }
    }
    return HTCLIENT;
}

LRESULT WindowImplBase::OnSize(UINT, WPARAM wParam, LPARAM, bool& handled)
{
    handled = false;
    const SIZE round = m_pm.GetScale().Size(m_pm.GetRoundCorner());
    if (wParam != SIZE_MINIMIZED && round.cx > 0 && round.cy > 0) {
        RECT window;
        ::GetWindowRect(m_hwnd, &window);
        UniqueRegion region(::CreateRoundRectRgn(
            0, 0, window.right - window.left + 1, window.bottom - window.top + 1, round.cx, round.cy));
        if (region && ::SetWindowRgn(m_hwnd, region.get(), TRUE)) {
            (void)region.release(); // the window owns it now
        }
    }
    return 0;
}

LRESULT WindowImplBase::OnDpiChanged(UINT, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = true;
    const UINT dpi = LOWORD(wParam);
    m_pm.SetDpi(dpi);
    // Windows suggests a rect that keeps the window's place on the new display; without
    // one, keep the top-left corner and take the layout's size at the new scale.
    RECT target {};
    if (const auto* suggested = reinterpret_cast<const RECT*>(lParam)) {
        target = *suggested;
    } else {
        ::GetWindowRect(m_hwnd, &target);
        const SIZE size = ScaledInitSize();
        target.right = target.left + size.cx;
        target.bottom = target.top + size.cy;
    }
    ::SetWindowPos(m_hwnd, nullptr, target.left, target.top, target.right - target.left, target.bottom - target.top,
        SWP_NOZORDER | SWP_NOACTIVATE);
    m_pm.UpdateLayout();
    ::InvalidateRect(m_hwnd, nullptr, FALSE);
    OnScaleChanged();
    return 0;
}

LRESULT WindowImplBase::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool handled = false;
    LRESULT result = 0;
    switch (message) {
    case WM_CREATE:
        result = OnCreate(message, wParam, lParam, handled);
        break;
    case WM_NCCALCSIZE:
        // The skin draws everything: the client area is the whole window.
        return 0;
    case WM_NCACTIVATE:
        return ::IsIconic(m_hwnd) ? ::DefWindowProcW(m_hwnd, message, wParam, lParam) : TRUE;
    case WM_NCPAINT:
        return 0;
    case WM_NCHITTEST:
        result = OnNcHitTest(message, wParam, lParam, handled);
        break;
    case WM_SIZE:
        result = OnSize(message, wParam, lParam, handled);
        break;
    case WM_DPICHANGED:
        result = OnDpiChanged(message, wParam, lParam, handled);
        break;
    case WM_DESTROY:
        m_pm.RemoveNotifier(this);
        m_pm.RemoveMessageFilter(this);
        break;
    default:
        break;
    }
    if (handled) {
        return result;
    }
    result = HandleCustomMessage(message, wParam, lParam, handled);
    if (handled) {
        return result;
    }
    if (m_pm.MessageHandler(message, wParam, lParam, result)) {
        return result;
    }
    return CWindowWnd::HandleMessage(message, wParam, lParam);
}

} // namespace Toolkit
