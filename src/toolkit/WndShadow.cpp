#include "toolkit/WndShadow.h"

#include <algorithm>
#include <cmath>

#include "toolkit/GdiplusInclude.h"
#include "toolkit/ImageCache.h"
#include "toolkit/ImageRef.h"

namespace Toolkit {
namespace {

constexpr wchar_t kShadowClass[] = L"ToolkitWndShadow";

bool RegisterShadowClass()
{
    WNDCLASSEXW existing { sizeof(existing) };
    if (::GetClassInfoExW(::GetModuleHandleW(nullptr), kShadowClass, &existing)) {
        return true;
    }
    WNDCLASSEXW wc { sizeof(wc) };
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kShadowClass;
    return ::RegisterClassExW(&wc) != 0;
}

} // namespace

bool CWndShadow::LayeredAlphaBlends()
{
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return !ntdll || !::GetProcAddress(ntdll, "wine_get_version");
}

bool CWndShadow::Create(HWND parent, bool evenUnderWine)
{
    if (!parent || !RegisterShadowClass() || (!evenUnderWine && !LayeredAlphaBlends())) {
        return false;
    }
    m_parent = parent;
    // Owned by the parent's owner so it stays in the same z-order band as the parent.
    const HWND owner = ::GetWindow(parent, GW_OWNER);
    m_window.reset(::CreateWindowExW(WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE,
        kShadowClass, L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr, ::GetModuleHandleW(nullptr), nullptr));
    if (!m_window) {
        return false;
    }
    if (::IsWindowVisible(parent)) {
        Update();
    }
    return true;
}

void CWndShadow::SetSize(int size)
{
    m_size = std::clamp(size, 0, 40);
}

void CWndShadow::SetSharpness(int sharpness)
{
    m_sharpness = std::clamp(sharpness, 0, 20);
}

void CWndShadow::SetDarkness(int darkness)
{
    m_darkness = std::clamp(darkness, 0, 255);
}

void CWndShadow::SetPosition(int x, int y)
{
    m_offset = POINT { std::clamp(x, -20, 20), std::clamp(y, -20, 20) };
}

void CWndShadow::SetColor(COLORREF color)
{
    m_color = color;
}

void CWndShadow::SetImage(const std::wstring& image, const RECT& corner, const RECT& holeOffset)
{
    m_image = image;
    m_imageCorner = corner;
    m_holeOffset = holeOffset;
}

void CWndShadow::Render(int width, int height, void* bits) const
{
    auto* pixels = static_cast<DWORD*>(bits);
    // The window's rect inside the shadow bitmap.
    const double left = m_size - m_offset.x;
    const double top = m_size - m_offset.y;
    const double right = width - m_size - m_offset.x;
    const double bottom = height - m_size - m_offset.y;
    const double radius = std::max(1, m_size);
    // Sharpness bends the fall-off: 0 is a soft linear fade, 20 a hard edge.
    const double exponent = 1.0 + m_sharpness / 5.0;
    const BYTE r = GetRValue(m_color);
    const BYTE g = GetGValue(m_color);
    const BYTE b = GetBValue(m_color);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double cx = x + 0.5;
            const double cy = y + 0.5;
            const double dx = cx < left ? left - cx : (cx > right ? cx - right : 0);
            const double dy = cy < top ? top - cy : (cy > bottom ? cy - bottom : 0);
            if (dx == 0.0 && dy == 0.0) {
                pixels[y * width + x] = 0; // under the window itself: keep it clear
                continue;
            }
            const double distance = std::sqrt(dx * dx + dy * dy);
            const double strength = distance >= radius ? 0.0 : std::pow(1.0 - distance / radius, exponent);
            const BYTE alpha = static_cast<BYTE>(std::lround(m_darkness * strength));
            pixels[y * width + x] = (static_cast<DWORD>(alpha) << 24) | (static_cast<DWORD>(r * alpha / 255) << 16)
                | (static_cast<DWORD>(g * alpha / 255) << 8) | static_cast<DWORD>(b * alpha / 255);
        }
    }
}

void CWndShadow::Update()
{
    if (!m_window || !m_parent) {
        return;
    }
    if (!::IsWindowVisible(m_parent) || ::IsIconic(m_parent)) {
        ::ShowWindow(m_window.get(), SW_HIDE);
        return;
    }
    RECT parent;
    ::GetWindowRect(m_parent, &parent);
    const int width = parent.right - parent.left + 2 * m_size;
    const int height = parent.bottom - parent.top + 2 * m_size;
    if (width <= 0 || height <= 0) {
        return;
    }
    const POINT origin { parent.left - m_size + m_offset.x, parent.top - m_size + m_offset.y };
    if (m_lastSize.cx == width && m_lastSize.cy == height) {
        // Same size: the layered content stays, only the place changes (cheap while dragging).
        ::SetWindowPos(
            m_window.get(), m_parent, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        return;
    }

    WindowDc screen(nullptr);
    UniqueMemoryDc dc(::CreateCompatibleDC(screen.get()));
    BITMAPINFO info {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap bitmap(::CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!dc || !bitmap || !bits) {
        return;
    }
    SelectedObject selected(dc.get(), bitmap.get());

    bool drawn = false;
    if (!m_image.empty()) {
        if (Gdiplus::Bitmap* image = ImageCache::Instance().Get(m_image)) {
            memset(bits, 0, static_cast<std::size_t>(width) * height * 4);
            Gdiplus::Graphics g(dc.get());
            const RECT& c = m_imageCorner;
            const int iw = static_cast<int>(image->GetWidth());
            const int ih = static_cast<int>(image->GetHeight());
            const int dx[4] = { 0, c.left, width - c.right, width };
            const int dy[4] = { 0, c.top, height - c.bottom, height };
            const int sx[4] = { 0, c.left, iw - c.right, iw };
            const int sy[4] = { 0, c.top, ih - c.bottom, ih };
            for (int row = 0; row < 3; ++row) {
                for (int col = 0; col < 3; ++col) {
                    if (row == 1 && col == 1) {
                        continue; // the hole behind the window
                    }
                    const int w = dx[col + 1] - dx[col];
                    const int h = dy[row + 1] - dy[row];
                    if (w > 0 && h > 0 && sx[col + 1] > sx[col] && sy[row + 1] > sy[row]) {
                        g.DrawImage(image, Gdiplus::Rect(dx[col], dy[row], w, h), sx[col], sy[row],
                            sx[col + 1] - sx[col], sy[row + 1] - sy[row], Gdiplus::UnitPixel);
                    }
                }
            }
            drawn = true;
        }
    }
    if (!drawn) {
        Render(width, height, bits);
    }

    POINT source {};
    SIZE size { width, height };
    BLENDFUNCTION blend { AC_SRC_OVER, 0, 255, AC_SRC_ALPHA };
    ::UpdateLayeredWindow(
        m_window.get(), screen.get(), const_cast<POINT*>(&origin), &size, dc.get(), &source, 0, &blend, ULW_ALPHA);
    // Just below the parent.
    ::SetWindowPos(m_window.get(), m_parent, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    m_lastSize = size;
}

void CWndShadow::OnParentMessage(UINT message, WPARAM wParam, LPARAM)
{
    if (!m_window) {
        return;
    }
    switch (message) {
    case WM_WINDOWPOSCHANGED:
    case WM_ACTIVATE:
    case WM_NCACTIVATE:
        Update();
        break;
    case WM_SHOWWINDOW:
        // Showing is handled by the WM_WINDOWPOSCHANGED that follows, once the parent is visible.
        if (!wParam) {
            ::ShowWindow(m_window.get(), SW_HIDE);
        }
        break;
    case WM_DESTROY:
        m_window.reset();
        break;
    default:
        break;
    }
}

} // namespace Toolkit
