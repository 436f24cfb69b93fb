#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "toolkit/DpiScale.h"
#include "toolkit/ImageRef.h"

namespace Gdiplus {
class Graphics;
}

namespace Toolkit {

// Draws into one DC (the window's back buffer): images through GDI+, text through GDI so
// it measures and renders exactly like the text measurement of the controls.
class Painter {
public:
    // scale: the window's; image references (dest, corner, source) are in 96-dpi pixels.
    explicit Painter(HDC dc, DpiScale scale = {});
    ~Painter();
    Painter(const Painter&) = delete;
    Painter& operator=(const Painter&) = delete;

    HDC dc() const noexcept { return m_dc; }
    DpiScale scale() const noexcept { return m_scale; }

    void FillColor(const RECT& rect, DWORD argb);
    // Draws a skin image into the control's rect (or the image reference's dest part of it), nine-sliced
    // by its corners, from the image set nearest the scale (the rest of the way smoothly scaled). Returns false when
    // the image is missing (nothing is drawn).
    bool DrawImage(const RECT& controlRect, const ImageRef& image);
    void DrawText(const RECT& rect, const std::wstring& text, HFONT font, DWORD argb, UINT format);
    void DrawBorder(const RECT& rect, DWORD argb, int width, SIZE round);

    // Narrows drawing to a rect until the scope ends.
    class Clip {
    public:
        Clip(Painter& painter, const RECT& rect);
        ~Clip();
        Clip(const Clip&) = delete;
        Clip& operator=(const Clip&) = delete;

    private:
        Painter& m_painter;
        int m_savedDc;
        unsigned m_savedGraphics;
    };

private:
    HDC m_dc;
    DpiScale m_scale;
    std::unique_ptr<Gdiplus::Graphics> m_graphics;
};

} // namespace Toolkit
