#pragma once

#include <string>

namespace Config {

inline constexpr int ProductNumber = 417;
inline constexpr wchar_t kRoutePlaceholder[] = L"${ROUTE}";

// The route word for a Windows version name and product number.
std::wstring RouteWord(const std::wstring& versionName, int productNumber, bool isWow64);

// Replaces every "${ROUTE}" of url with the route word of this machine.
std::wstring ApplyRoute(const std::wstring& url);

} // namespace Config
