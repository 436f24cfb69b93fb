#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// Id of the first running process whose executable name equals name exactly, or 0.
DWORD FindProcessIdByName(const std::wstring& name);

} // namespace Utils
