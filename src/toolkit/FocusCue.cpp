#include "toolkit/FocusCue.h"

#include <algorithm>
#include <cmath>

#include "toolkit/Painter.h"

namespace Toolkit {

FocusCueMetrics FocusCueFor(double scale)
{
    const auto scaled = [scale](int px) {
        return std::max(1, static_cast<int>(std::lround(px * scale)));
    };
    return FocusCueMetrics { scaled(2), scaled(1) };
}

RECT FocusCueArea(const RECT& control, double scale)
{
    const FocusCueMetrics m = FocusCueFor(scale);
    const int reach = m.outset + m.thickness;
    return RECT { control.left - reach, control.top - reach, control.right + reach, control.bottom + reach };
}

void PaintFocusCue(Painter& painter, const RECT& control, DWORD argb, double scale)
{
    painter.DrawBorder(FocusCueArea(control, scale), argb, FocusCueFor(scale).thickness, SIZE {});
}

} // namespace Toolkit
