#pragma once

#include <string>

namespace Session {

// Every program and page the installer starts for the user goes through here: the product,
// its start page, the terms. They start with the signed-in user's ordinary rights, never the
// installer's (Utils::StartForUser); nothing starts when that cannot be done. False when it
// did not start (logged).
bool StartForUser(const std::wstring& target, const std::wstring& parameters = {});

} // namespace Session
