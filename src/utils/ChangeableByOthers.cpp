#include "utils/ChangeableByOthers.h"

#include <aclapi.h>
#include <sddl.h>

#include "utils/FileSystem.h"
#include "utils/UniqueResource.h"

namespace Utils {
namespace {

constexpr wchar_t kTrustedInstallerSid[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

// What lets a holder change a file's content, or who may.
constexpr ACCESS_MASK kFileChangeRights
    = FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
// A folder's FILE_ADD_FILE and FILE_ADD_SUBDIRECTORY are a file's write and append bits; a
// child's deletion frees its name for another file.
constexpr ACCESS_MASK kFolderChangeRights = kFileChangeRights | FILE_DELETE_CHILD;

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type)
{
    BYTE buffer[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(buffer);
    return ::CreateWellKnownSid(type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

bool IsTrustedInstaller(PSID sid)
{
    PSID trustedInstaller = nullptr;
    if (!::ConvertStringSidToSidW(kTrustedInstallerSid, &trustedInstaller)) {
        return false;
    }
    UniqueLocalMem owner(trustedInstaller);
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
    UniqueLocalMem owner(text);
    return text;
}

bool RunsUnderWine()
{
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

} // namespace

std::wstring ChangeableByOthersReason(PSECURITY_DESCRIPTOR descriptor, HeldEntry entry)
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
    const ACCESS_MASK changeRights = entry == HeldEntry::Folder ? kFolderChangeRights : kFileChangeRights;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* ace = nullptr;
        if (!::GetAce(dacl, index, &ace)) {
            return L"its access list cannot be read";
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Only what applies to the entry itself; a deny entry never widens who may write.
        if ((header->AceFlags & INHERIT_ONLY_ACE) || header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        auto* sid = const_cast<PSID>(static_cast<const void*>(&allowed->SidStart));
        // "Owner rights" is the owner, an administrator by now.
        if ((allowed->Mask & changeRights) && !IsAdministrative(sid) && !IsWellKnown(sid, WinCreatorOwnerRightsSid)) {
            return SidText(sid) + L" may change it";
        }
    }
    return {};
}

std::wstring OpenEntryChangeableByOthers(HANDLE entry, HeldEntry kind)
{
    // Wine reads back a descriptor it makes up (the user owns the entry and may change it)
    // for every file, which would refuse them all.
    if (RunsUnderWine()) {
        return {};
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetSecurityInfo(entry, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return L"its owner cannot be read (error " + std::to_wstring(error) + L")";
    }
    UniqueLocalMem owner(descriptor);
    return ChangeableByOthersReason(descriptor, kind);
}

PSECURITY_DESCRIPTOR MakeMachineFolderDescriptor()
{
    // Protected ("P"), inherited by files and folders below; read and execute (0x1200a9) for
    // users and packaged apps; full control for CREATOR OWNER's children only, as there.
    const std::wstring sddl = std::wstring(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;") + kTrustedInstallerSid
        + L")(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;S-1-15-2-1)(A;OICIIO;GA;;;CO)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return nullptr;
    }
    return descriptor;
}

bool EnsureMachineFolderPath(const std::wstring& path)
{
    UniqueLocalMem descriptor(MakeMachineFolderDescriptor());
    return descriptor && EnsureDirectoryPath(path, descriptor.get());
}

} // namespace Utils
