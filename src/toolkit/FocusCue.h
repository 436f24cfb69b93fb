#pragma once

#include <windows.h>

namespace Toolkit {

class Painter;

// The keyboard focus ring: a solid line just outside the control, so image buttons, the
// native edit and the native combo all show it without covering their content.
struct FocusCueMetrics {
    int thickness;
    int outset; // gap between the control's edge and the ring
};

// Metrics at a display scale (1.0 at 96 dpi); never thinner than one pixel.
FocusCueMetrics FocusCueFor(double scale);
// The area the ring covers around a control's rect (what to invalidate).
RECT FocusCueArea(const RECT& control, double scale);
void PaintFocusCue(Painter& painter, const RECT& control, DWORD argb, double scale);

} // namespace Toolkit
