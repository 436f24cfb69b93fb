#include "config/SettingsFileTrust.h"

#include "utils/ChangeableByOthers.h"

namespace Config {

std::wstring UntrustedSettingsFile(HANDLE file)
{
    return Utils::OpenEntryChangeableByOthers(file, Utils::HeldEntry::File);
}

bool RunsAsAdministrator()
{
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    BOOL member = FALSE;
    return ::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, buffer, &size)
        && ::CheckTokenMembership(nullptr, buffer, &member) && member;
}

} // namespace Config
