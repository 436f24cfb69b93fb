#include "install/AdminProbes.h"

#include <windows.h>
#include <lm.h>
#include <wtsapi32.h>

#include "utils/UniqueResource.h"

namespace Utils {
namespace {

struct WtsMemoryTraits {
    using Type = LPWSTR;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::WTSFreeMemory(p); }
};

struct NetApiBufferTraits {
    using Type = LPBYTE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::NetApiBufferFree(p); }
};

struct SidTraits {
    using Type = PSID;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::FreeSid(p); }
};

} // namespace

bool IsConsoleUserAdmin()
{
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF) {
        return false;
    }
    UniqueResource<WtsMemoryTraits> userName;
    DWORD bytes = 0;
    if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session, WTSUserName, userName.put(), &bytes)
        || !userName || userName.get()[0] == L'\0') {
        return false;
    }
    UniqueResource<NetApiBufferTraits> info;
    if (::NetUserGetInfo(nullptr, userName.get(), 1, info.put()) != NERR_Success || !info) {
        return false;
    }
    return reinterpret_cast<const USER_INFO_1*>(info.get())->usri1_priv == USER_PRIV_ADMIN;
}

bool IsProcessAdmin()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    UniqueResource<SidTraits> administrators;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
            0, 0, administrators.put())) {
        return false;
    }
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators.get(), &member)) {
        return false;
    }
    return member != FALSE;
}

bool IsProcessSystemAccount()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    // TOKEN_USER and the SID it points to, in one buffer.
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return ::IsWellKnownSid(reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

} // namespace Utils
