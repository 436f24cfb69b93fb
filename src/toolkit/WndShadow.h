#pragma once

#include <windows.h>

#include <string>

#include "toolkit/Handles.h"

namespace Toolkit {

// A soft drop shadow around a window: a layered, click-through popup kept just below it
// and drawn with UpdateLayeredWindow. Computed from size, sharpness, darkness, offset and
// colour, or nine-sliced from a skin image when one is set. The parent forwards its
// messages through OnParentMessage so the shadow follows moves, sizes and visibility.
class CWndShadow {
public:
    CWndShadow() = default;
    ~CWndShadow() = default;
    CWndShadow(const CWndShadow&) = delete;
    CWndShadow& operator=(const CWndShadow&) = delete;

    // False when per-pixel alpha windows cannot be trusted to blend (the window then
    // simply has no shadow). Wine draws them opaque on an X server without a compositor,
    // which would frame the window in black, so there the shadow is left out unless
    // `evenUnderWine` is set.
    bool Create(HWND parent, bool evenUnderWine = false);
    static bool LayeredAlphaBlends();
    bool IsCreated() const noexcept { return static_cast<bool>(m_window); }

    void SetSize(int size);
    void SetSharpness(int sharpness);
    void SetDarkness(int darkness);
    void SetPosition(int x, int y);
    void SetColor(COLORREF color);
    void SetImage(const std::wstring& image, const RECT& corner, const RECT& holeOffset);

    void OnParentMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Re-renders and places the shadow now.
    void Update();
    HWND GetHWND() const noexcept { return m_window.get(); }

    // The computed shadow as premultiplied BGRA pixels for a bitmap of width x height.
    void Render(int width, int height, void* bits) const;

private:
    HWND m_parent = nullptr;
    UniqueWindow m_window;
    int m_size = 6;
    int m_sharpness = 10;
    int m_darkness = 60;
    POINT m_offset {};
    COLORREF m_color = RGB(0, 0, 0);
    std::wstring m_image;
    RECT m_imageCorner {};
    RECT m_holeOffset {};
    SIZE m_lastSize {};
};

} // namespace Toolkit
