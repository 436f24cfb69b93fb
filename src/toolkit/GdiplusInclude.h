#pragma once

// GDI+ needs COM declarations and min/max that WIN32_LEAN_AND_MEAN/NOMINMAX take away.
#include <windows.h>
#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>
