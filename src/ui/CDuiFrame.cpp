#include "ui/CDuiFrame.h"

#include "toolkit/Attributes.h"
#include "ui/SequenceFactory.h"
#include "utils/Log.h"

CDuiFrame::CDuiFrame(FrameParams params)
    : m_params(std::move(params))
{
}

CDuiFrame::~CDuiFrame() = default;

bool CDuiFrame::ConfigureShadow()
{
    using namespace Toolkit;
    if (!EqualsNoCase(m_pm.GetWindowAttribute(L"showshadow"), L"true")) {
        return false;
    }
    const std::wstring image = m_pm.GetWindowAttribute(L"shadowimage");
    if (!image.empty()) {
        m_shadow.SetImage(image, ParseRect(m_pm.GetWindowAttribute(L"shadowcorner")),
            ParseRect(m_pm.GetWindowAttribute(L"shadowholeoffset")));
    }
    auto setInt = [this](const wchar_t* name, auto setter) {
        const std::wstring value = m_pm.GetWindowAttribute(name);
        if (!value.empty()) {
            (m_shadow.*setter)(ParseInt(value));
        }
    };
    // The shadow's reach and offset are layout pixels, scaled like the rest of the window.
    const DpiScale scale = m_pm.GetScale();
    const std::wstring size = m_pm.GetWindowAttribute(L"shadowsize");
    if (!size.empty()) {
        m_shadow.SetSize(scale(ParseInt(size)));
    }
    setInt(L"shadowsharpness", &CWndShadow::SetSharpness);
    setInt(L"shadowdarkness", &CWndShadow::SetDarkness);
    const std::wstring position = m_pm.GetWindowAttribute(L"shadowposition");
    if (!position.empty()) {
        const SIZE offset = ParseSize(position);
        m_shadow.SetPosition(scale(offset.cx), scale(offset.cy));
    }
    const std::wstring color = m_pm.GetWindowAttribute(L"shadowcolor");
    if (!color.empty()) {
        m_shadow.SetColor(ToColorRef(ParseColor(color)));
    }
    return true;
}

void CDuiFrame::InitWindow()
{
    if (ConfigureShadow() && !m_shadow.Create(m_hwnd)) {
        LOG(L"drop shadow unavailable for %s\r\n", m_params.windowClassName.c_str());
    }
}

void CDuiFrame::OnScaleChanged()
{
    if (m_shadow.IsCreated() && ConfigureShadow()) {
        m_shadow.Update();
    }
}

Toolkit::CControlUI* CDuiFrame::CreateControl(const wchar_t* className)
{
    return CreateSequenceControl(className);
}

LRESULT CDuiFrame::MessageHandler(UINT message, WPARAM wParam, LPARAM, bool& handled)
{
    // Escape never closes one of our windows.
    handled = message == WM_KEYDOWN && wParam == VK_ESCAPE;
    return 0;
}

LRESULT CDuiFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    m_shadow.OnParentMessage(message, wParam, lParam);
    return WindowImplBase::HandleMessage(message, wParam, lParam);
}

void CDuiFrame::ApplySkinnedStyle()
{
    LONG style = ::GetWindowLongW(m_hwnd, GWL_STYLE);
    style &= ~(WS_CAPTION | WS_MAXIMIZEBOX);
    style |= WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ::SetWindowLongW(m_hwnd, GWL_STYLE, style);
    ::SetWindowLongW(m_hwnd, GWL_EXSTYLE, ::GetWindowLongW(m_hwnd, GWL_EXSTYLE) & ~WS_EX_TOPMOST);
    ::SetWindowPos(
        m_hwnd, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}
