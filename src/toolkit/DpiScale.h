#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace Toolkit {

// A window's display scale. Layouts state pixels at 96 dpi; everything they say is turned
// into physical pixels through this (rounded to the nearest pixel, halves away from zero).
struct DpiScale {
    static constexpr UINT kBase = 96;
    UINT dpi = kBase;

    bool IsIdentity() const noexcept { return dpi == kBase; }
    double Factor() const noexcept { return static_cast<double>(dpi) / kBase; }
    int operator()(int value) const noexcept { return ::MulDiv(value, static_cast<int>(dpi), kBase); }
    SIZE Size(SIZE size) const noexcept { return SIZE { (*this)(size.cx), (*this)(size.cy) }; }
    RECT Rect(const RECT& rect) const noexcept
    {
        return RECT { (*this)(rect.left), (*this)(rect.top), (*this)(rect.right), (*this)(rect.bottom) };
    }
    // Physical pixels back to the smallest 96-dpi length that scales to at least them.
    int Unscale(int physical) const noexcept;
};

// The DPI a window is shown at: GetDpiForWindow where the system has it, else the DPI of
// the screen's device context; 96 when neither answers.
UINT WindowDpi(HWND hwnd);

// Skin images come in sets drawn for 1x and 2x, as browsers ship theirs; the 1x file carries
// the name a layout uses and the other adds "@2x" before the extension. Scales between them
// draw from the 2x set, scaled down smoothly.
struct ImageSet {
    UINT dpi; // the scale the set is drawn for
    const wchar_t* suffix;
};
inline constexpr ImageSet kImageSets[] = { { 96, L"" }, { 192, L"@2x" } };

// The name of `name`'s file in a set ("res/a.png" + "@2x" -> "res/a@2x.png").
std::wstring ImageSetName(std::wstring_view name, const ImageSet& set);

} // namespace Toolkit
