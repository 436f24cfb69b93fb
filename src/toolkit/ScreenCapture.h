#pragma once

#include <windows.h>

#include <string>

namespace Toolkit {

// Saves what the screen shows in area as a PNG file; false when it could not be written.
bool SaveScreenAreaPng(const RECT& area, const std::wstring& path);
// Saves a device-dependent bitmap (not selected into a DC) as a PNG file.
bool SaveBitmapPng(HBITMAP bitmap, const std::wstring& path);

} // namespace Toolkit
