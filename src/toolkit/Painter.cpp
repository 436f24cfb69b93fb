#include "toolkit/Painter.h"

#include "toolkit/Attributes.h"
#include "toolkit/GdiplusInclude.h"
#include "toolkit/Handles.h"
#include "toolkit/ImageCache.h"

namespace Toolkit {
namespace {

Gdiplus::Color ToColor(DWORD argb)
{
    return Gdiplus::Color(static_cast<BYTE>(argb >> 24), static_cast<BYTE>(argb >> 16), static_cast<BYTE>(argb >> 8),
        static_cast<BYTE>(argb));
}

} // namespace

Painter::Painter(HDC dc, DpiScale scale)
    : m_dc(dc)
    , m_scale(scale)
    , m_graphics(std::make_unique<Gdiplus::Graphics>(dc))
{
    m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    m_graphics->SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBilinear);
    ::SetBkMode(dc, TRANSPARENT);
}

Painter::~Painter() = default;

void Painter::FillColor(const RECT& rect, DWORD argb)
{
    if ((argb >> 24) == 0) {
        return;
    }
    Gdiplus::SolidBrush brush(ToColor(argb));
    m_graphics->FillRectangle(&brush, static_cast<INT>(rect.left), static_cast<INT>(rect.top),
        static_cast<INT>(rect.right - rect.left), static_cast<INT>(rect.bottom - rect.top));
}

bool Painter::DrawImage(const RECT& controlRect, const ImageRef& image)
{
    if (image.empty()) {
        return false;
    }
    const ImageCache::Scaled found = ImageCache::Instance().Get(image.file, m_scale.dpi);
    Gdiplus::Bitmap* bitmap = found.bitmap;
    if (!bitmap) {
        return false;
    }
    // Layout numbers to this window's pixels, and to the chosen set's file pixels.
    const DpiScale toFile { found.dpi };
    RECT dest = controlRect;
    if (image.hasDest) {
        const RECT d = m_scale.Rect(image.dest);
        dest = RECT { controlRect.left + d.left, controlRect.top + d.top, controlRect.left + d.right,
            controlRect.top + d.bottom };
    }
    RECT source { 0, 0, static_cast<LONG>(bitmap->GetWidth()), static_cast<LONG>(bitmap->GetHeight()) };
    if (image.hasSource) {
        source = toFile.Rect(image.source);
    }
    Gdiplus::ImageAttributes attributes;
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY); // no blur from outside the slice
    if (image.fade < 255) {
        Gdiplus::ColorMatrix matrix = { { { 1, 0, 0, 0, 0 }, { 0, 1, 0, 0, 0 }, { 0, 0, 1, 0, 0 },
            { 0, 0, 0, image.fade / 255.0f, 0 }, { 0, 0, 0, 0, 1 } } };
        attributes.SetColorMatrix(&matrix);
    }

    const RECT& c = image.corner;
    const bool sliced = c.left || c.top || c.right || c.bottom;
    const bool rescaled = found.dpi != m_scale.dpi;
    // Smoothly scaled slices leave faint seams where they meet; stretched slices of a
    // nine-slice image are plain runs of colour, so sample them exactly.
    const auto smooth = [this, rescaled] {
        m_graphics->SetInterpolationMode(
            rescaled ? Gdiplus::InterpolationModeHighQualityBicubic : Gdiplus::InterpolationModeHighQualityBilinear);
        m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    };
    const auto exact = [this] {
        m_graphics->SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
        m_graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
    };
    const RECT dc = m_scale.Rect(c);
    const RECT sc = toFile.Rect(c);
    const int dx[4] = { dest.left, dest.left + dc.left, dest.right - dc.right, dest.right };
    const int dy[4] = { dest.top, dest.top + dc.top, dest.bottom - dc.bottom, dest.bottom };
    const int sx[4] = { source.left, source.left + sc.left, source.right - sc.right, source.right };
    const int sy[4] = { source.top, source.top + sc.top, source.bottom - sc.bottom, source.bottom };
    // Stretched slices go first and reach one pixel under their neighbours, which are
    // drawn over them: some GDI+ implementations leave the first column of a scaled
    // slice empty, which shows as a seam.
    for (int pass = 0; pass < 2; ++pass) {
        for (int row = 0; row < 3; ++row) {
            for (int col = 0; col < 3; ++col) {
                const int w = dx[col + 1] - dx[col];
                const int h = dy[row + 1] - dy[row];
                const int sw = sx[col + 1] - sx[col];
                const int sh = sy[row + 1] - sy[row];
                if (w <= 0 || h <= 0 || sw <= 0 || sh <= 0) {
                    continue;
                }
                const bool stretched = w != sw || h != sh;
                if (stretched != (pass == 0)) {
                    continue;
                }
                // Corners of a nine-slice keep their shape: drawn from another scale's set,
                // they are resampled smoothly.
                const bool smoothCorner = rescaled && row != 1 && col != 1;
                if (sliced && !smoothCorner) {
                    exact();
                } else {
                    smooth();
                }
                Gdiplus::Rect target(dx[col], dy[row], w, h);
                if (stretched && sliced && !smoothCorner) {
                    const int growLeft = col > 0 && dx[col] > dx[col - 1] ? 1 : 0;
                    const int growTop = row > 0 && dy[row] > dy[row - 1] ? 1 : 0;
                    const int growRight = col < 2 && dx[col + 2] > dx[col + 1] ? 1 : 0;
                    const int growBottom = row < 2 && dy[row + 2] > dy[row + 1] ? 1 : 0;
                    target = Gdiplus::Rect(
                        dx[col] - growLeft, dy[row] - growTop, w + growLeft + growRight, h + growTop + growBottom);
                }
                if (!stretched && !sliced) {
                    // Drawn 1:1, only the part inside the clip (the dirty area) needs drawing:
                    // a frame of an animation over a large background stays cheap at 200 %.
                    Gdiplus::Rect clip;
                    m_graphics->GetVisibleClipBounds(&clip);
                    Gdiplus::Rect part;
                    if (!Gdiplus::Rect::Intersect(part, target, clip)) {
                        continue;
                    }
                    m_graphics->DrawImage(bitmap, part, sx[col] + part.X - target.X, sy[row] + part.Y - target.Y,
                        part.Width, part.Height, Gdiplus::UnitPixel, &attributes);
                    continue;
                }
                m_graphics->DrawImage(bitmap, target, sx[col], sy[row], sw, sh, Gdiplus::UnitPixel, &attributes);
            }
        }
    }
    return true;
}

void Painter::DrawText(const RECT& rect, const std::wstring& text, HFONT font, DWORD argb, UINT format)
{
    if (text.empty()) {
        return;
    }
    m_graphics->Flush(Gdiplus::FlushIntentionSync);
    SelectedObject selected(m_dc, font);
    ::SetTextColor(m_dc, ToColorRef(argb));
    RECT area = rect;
    if ((format & DT_SINGLELINE) == 0 && (format & (DT_VCENTER | DT_BOTTOM))) {
        // DrawText centres vertically only single lines; place a wrapped block ourselves.
        RECT measure = rect;
        ::DrawTextW(m_dc, text.c_str(), static_cast<int>(text.size()), &measure, format | DT_CALCRECT);
        const int height = measure.bottom - measure.top;
        const int room = rect.bottom - rect.top;
        if (height < room) {
            area.top += (format & DT_BOTTOM) ? room - height : (room - height) / 2;
        }
    }
    ::DrawTextW(m_dc, text.c_str(), static_cast<int>(text.size()), &area, format);
}

void Painter::DrawBorder(const RECT& rect, DWORD argb, int width, SIZE round)
{
    if (width <= 0 || (argb >> 24) == 0) {
        return;
    }
    Gdiplus::Pen pen(ToColor(argb), static_cast<Gdiplus::REAL>(width));
    const Gdiplus::REAL half = width / 2.0f;
    const Gdiplus::RectF r(rect.left + half, rect.top + half, rect.right - rect.left - width * 1.0f,
        rect.bottom - rect.top - width * 1.0f);
    if (round.cx <= 0 || round.cy <= 0) {
        m_graphics->DrawRectangle(&pen, r);
        return;
    }
    Gdiplus::GraphicsPath path;
    const Gdiplus::REAL rx = static_cast<Gdiplus::REAL>(round.cx);
    const Gdiplus::REAL ry = static_cast<Gdiplus::REAL>(round.cy);
    path.AddArc(r.X, r.Y, rx, ry, 180, 90);
    path.AddArc(r.X + r.Width - rx, r.Y, rx, ry, 270, 90);
    path.AddArc(r.X + r.Width - rx, r.Y + r.Height - ry, rx, ry, 0, 90);
    path.AddArc(r.X, r.Y + r.Height - ry, rx, ry, 90, 90);
    path.CloseFigure();
    m_graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    m_graphics->DrawPath(&pen, &path);
    m_graphics->SetSmoothingMode(Gdiplus::SmoothingModeDefault);
}

Painter::Clip::Clip(Painter& painter, const RECT& rect)
    : m_painter(painter)
{
    m_savedDc = ::SaveDC(painter.m_dc);
    ::IntersectClipRect(painter.m_dc, rect.left, rect.top, rect.right, rect.bottom);
    m_savedGraphics = painter.m_graphics->Save();
    painter.m_graphics->SetClip(Gdiplus::Rect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top),
        Gdiplus::CombineModeIntersect);
}

Painter::Clip::~Clip()
{
    m_painter.m_graphics->Restore(m_savedGraphics);
    ::RestoreDC(m_painter.m_dc, m_savedDc);
}

} // namespace Toolkit
