#include "config/SettingsFileTrust.h"

#include <aclapi.h>
#include <sddl.h>

#include "utils/UniqueResource.h"

namespace Config {
namespace {

// What lets a holder change what the file says, or who may.
constexpr ACCESS_MASK kChangeRights
    = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

bool IsTrustedInstaller(PSID sid)
{
    PSID trustedInstaller = nullptr;
    if (!::ConvertStringSidToSidW(
            L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", &trustedInstaller)) {
        return false;
    }
    Utils::UniqueLocalMem owner(trustedInstaller);
    return ::EqualSid(sid, trustedInstaller);
}

bool IsAdministrative(PSID sid)
{
    return IsWellKnown(sid, WinBuiltinAdministratorsSid) || IsWellKnown(sid, WinLocalSystemSid)
        || IsTrustedInstaller(sid);
}

std::wstring SidText(PSID sid)
{
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(sid, &text)) {
        return L"(unreadable)";
    }
    Utils::UniqueLocalMem owner(text);
    return text;
}

} // namespace

std::wstring UntrustedSettingsReason(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner) {
        return L"it has no owner";
    }
    if (!IsAdministrative(owner)) {
        return L"its owner " + SidText(owner) + L" is not an administrator";
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) {
        return L"it has no access list: anyone may change it";
    }
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry)) {
            return L"its access list cannot be read";
        }
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        // Only what applies to the file itself; a deny entry never widens who may write.
        if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        auto* sid = const_cast<PSID>(static_cast<const void*>(&allowed->SidStart));
        // "Owner rights" is the owner, an administrator by now.
        if ((allowed->Mask & kChangeRights) && !IsAdministrative(sid) && !IsWellKnown(sid, WinCreatorOwnerRightsSid)) {
            return SidText(sid) + L" may change it";
        }
    }
    return {};
}

std::wstring UntrustedSettingsFile(HANDLE file)
{
    // Wine keeps no descriptors: it reads back one it makes up (the user owns the file and may
    // change it) for every file, which would refuse them all. Nothing can be decided there.
    if (const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll"); ntdll && ::GetProcAddress(ntdll, "wine_get_version")) {
        return {};
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return L"its owner cannot be read (error " + std::to_wstring(error) + L")";
    }
    Utils::UniqueLocalMem owner(descriptor);
    return UntrustedSettingsReason(descriptor);
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
