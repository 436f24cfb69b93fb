#include "session/StartForUser.h"

#include <shellapi.h>

#include "utils/Log.h"

namespace Session {

bool StartForUser(const std::wstring& target, const std::wstring& parameters, int show)
{
    const auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        nullptr, L"open", target.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr, show));
    LOG(L"started '%s' (%d)\r\n", target.c_str(), static_cast<int>(result));
    return result > 32;
}

} // namespace Session
