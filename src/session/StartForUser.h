#pragma once

#include <windows.h>

#include <string>

namespace Session {

// Every program and page the installer starts for the user goes through here: the product,
// its start page, the terms. False when it could not be started (logged).
bool StartForUser(const std::wstring& target, const std::wstring& parameters = {}, int show = SW_SHOWNORMAL);

} // namespace Session
