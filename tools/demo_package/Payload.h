#pragma once

#include <windows.h>

#include <string>

namespace Demo {

// Writes the RCDATA resource id of this program to path, replacing what is there.
// ERROR_SUCCESS, or the error that stopped it.
DWORD WritePayload(int id, const std::wstring& path);

} // namespace Demo
