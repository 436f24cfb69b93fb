#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace Toolkit {

// An image reference from a layout: either a bare file name ("res\x.png") or a list
// `file='res\x.png' corner='5,5,5,5' source='0,0,10,10' dest='0,2,16,18' fade='200'`.
//   corner: nine-slice borders kept unscaled; source: part of the file; dest: where in
//   the control (else the whole control); fade: opacity 0..255.
struct ImageRef {
    std::wstring file;
    RECT corner {};
    RECT source {};
    RECT dest {};
    bool hasSource = false;
    bool hasDest = false;
    BYTE fade = 255;

    bool empty() const noexcept { return file.empty(); }
    static ImageRef Parse(std::wstring_view text);
};

} // namespace Toolkit
