#include "session/StartForUser.h"

#include "utils/StartForUser.h"

namespace Session {

bool StartForUser(const std::wstring& target, const std::wstring& parameters)
{
    // A program starts in its own folder; a page's address has none.
    const bool page = target.find(L"://") != std::wstring::npos;
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring directory = page || slash == std::wstring::npos ? std::wstring() : target.substr(0, slash);
    return Utils::StartForUser(target, parameters, directory).Started();
}

} // namespace Session
