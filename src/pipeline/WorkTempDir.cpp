#include "pipeline/WorkTempDir.h"

#include <windows.h>
#include <winternl.h>
#include <bcrypt.h>
#include <sddl.h>

#include <cwchar>
#include <vector>

#include "utils/Log.h"
#include "utils/StartForUser.h"
#include "utils/Text.h"

namespace Pipeline {

namespace {

constexpr wchar_t kFolderPrefix[] = L"TarvikRun.";

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
    ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

NtCreateFileFn NtCreate()
{
    static const auto function = reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    return function;
}

DWORD ErrorOf(NTSTATUS status)
{
    static const auto convert = reinterpret_cast<RtlNtStatusToDosErrorFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "RtlNtStatusToDosError")));
    return convert ? convert(status) : static_cast<DWORD>(status);
}

// NtCreateFile of name, relative to root when given (then name is a single entry).
HANDLE OpenNt(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
    PSECURITY_DESCRIPTOR descriptor, DWORD& error)
{
    const NtCreateFileFn create = NtCreate();
    if (!create) {
        error = ERROR_PROC_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING objectName {};
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes {};
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, root, descriptor);
    IO_STATUS_BLOCK io {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status = create(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
        share, disposition, options | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status < 0) {
        error = ErrorOf(status);
        return INVALID_HANDLE_VALUE;
    }
    error = ERROR_SUCCESS;
    return handle;
}

std::wstring RandomName()
{
    unsigned char bytes[16] = {};
    if (::BCryptGenRandom(nullptr, bytes, sizeof(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) {
        return {};
    }
    std::wstring name = kFolderPrefix;
    wchar_t hex[3] = {};
    for (const unsigned char byte : bytes) {
        std::swprintf(hex, 3, L"%02X", byte);
        name += hex;
    }
    return name;
}

std::wstring CurrentUserSid()
{
    Utils::UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return {};
    }
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)
        || !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        return {};
    }
    Utils::UniqueLocalMem owned(text);
    return text;
}

std::wstring WithBackslash(std::wstring path)
{
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    return path;
}

// The path the system resolves an open file or folder to, without the "\\?\" prefix.
std::wstring FinalPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    DWORD length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = ::GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()), 0);
    }
    if (length == 0 || length >= buffer.size()) {
        return {};
    }
    std::wstring path(buffer.data(), length);
    if (path.rfind(L"\\\\?\\", 0) == 0) {
        path.erase(0, 4);
    }
    return path;
}

bool DeleteByHandle(HANDLE handle)
{
    FILE_BASIC_INFO basic {};
    if (::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic))
        && (basic.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        basic.FileAttributes &= ~FILE_ATTRIBUTE_READONLY;
        basic.FileAttributes |= basic.FileAttributes == 0 ? FILE_ATTRIBUTE_NORMAL : 0;
        ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof(basic));
    }
    FILE_DISPOSITION_INFO disposition { TRUE };
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof(disposition)) != FALSE;
}

// Calls visit(name, entry, real folder) for every entry of the open folder, each opened
// relative to the folder's handle and without following links; an entry is a real folder only
// when neither the listing nor the open handle sees a link. False when an entry could not be
// opened, the listing failed or a visit said so.
template <typename Visit> bool ForEachEntry(HANDLE folder, Visit&& visit)
{
    bool all = true;
    std::vector<unsigned char> buffer(64 * 1024);
    bool first = true;
    for (;;) {
        const FILE_INFO_BY_HANDLE_CLASS kind = first ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
        first = false;
        if (!::GetFileInformationByHandleEx(folder, kind, buffer.data(), static_cast<DWORD>(buffer.size()))) {
            return all && ::GetLastError() == ERROR_NO_MORE_FILES;
        }
        std::size_t offset = 0;
        for (;;) {
            const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                DWORD error = 0;
                Utils::UniqueFileHandle child(
                    OpenNt(folder, name, DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, 0, nullptr, error));
                if (!child) {
                    LOG(L"work folder entry '%s' could not be opened, error %lu\r\n", name.c_str(), error);
                    all = false;
                } else {
                    BY_HANDLE_FILE_INFORMATION info {};
                    const DWORD listed = entry->FileAttributes;
                    const DWORD opened
                        = ::GetFileInformationByHandle(child.get(), &info) ? info.dwFileAttributes : listed;
                    const bool link = ((listed | opened) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
                    const bool folderEntry = (listed & opened & FILE_ATTRIBUTE_DIRECTORY) != 0;
                    if (!visit(name, child, folderEntry && !link)) {
                        all = false;
                    }
                }
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            offset += entry->NextEntryOffset;
        }
    }
}

// Deletes every entry of the open folder; a link is deleted as itself, only a real folder is
// entered.
bool EmptyFolder(HANDLE folder, int depth)
{
    if (depth > 64) {
        return false;
    }
    return ForEachEntry(folder, [depth](const std::wstring& name, Utils::UniqueFileHandle& child, bool realFolder) {
        bool all = !realFolder || EmptyFolder(child.get(), depth + 1);
        if (!DeleteByHandle(child.get())) {
            LOG(L"work folder entry '%s' could not be deleted, error %lu\r\n", name.c_str(), ::GetLastError());
            all = false;
        }
        return all;
    });
}

// Marks every entry of the open folder (path: its path, ending in a backslash) for deletion
// at the next restart, a real folder's entries before the folder; a link as itself.
bool MarkForRestart(HANDLE folder, const std::wstring& path, int depth)
{
    if (depth > 64) {
        return false;
    }
    return ForEachEntry(
        folder, [&path, depth](const std::wstring& name, Utils::UniqueFileHandle& child, bool realFolder) {
            bool all = !realFolder || MarkForRestart(child.get(), path + name + L"\\", depth + 1);
            child.reset(); // marked by name, with nothing of ours holding it
            if (!::MoveFileExW((path + name).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
                LOG(L"'%s' could not be marked for removal at the next restart, error %lu\r\n", (path + name).c_str(),
                    ::GetLastError());
                all = false;
            }
            return all;
        });
}

} // namespace

std::wstring WorkFolderSddl(bool elevated, const std::wstring& userSid)
{
    // 0x1200a9: read, list, traverse and run; no write, no delete.
    std::wstring sddl = elevated ? L"O:BA" : L"";
    sddl += L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    if (!elevated && !userSid.empty()) {
        sddl += L"(A;OICI;FA;;;" + userSid + L")";
    }
    sddl += L"(A;OICI;0x1200a9;;;BU)";
    return sddl;
}

std::wstring WorkFolderParent()
{
    wchar_t buffer[MAX_PATH + 2] = {};
    const Utils::UserStartRoute route = Utils::RouteForThisProcess();
    if (route == Utils::UserStartRoute::None) {
        // The system account: the system's own temporary folder where Windows has one.
        using GetTempPath2Fn = DWORD(WINAPI*)(DWORD, LPWSTR);
        const auto getTempPath2 = reinterpret_cast<GetTempPath2Fn>(
            reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")));
        const DWORD length = getTempPath2 ? getTempPath2(MAX_PATH + 1, buffer) : 0;
        if (length > 0 && length <= MAX_PATH) {
            return WithBackslash(std::wstring(buffer, length));
        }
    }
    if (route != Utils::UserStartRoute::Plain) {
        // Elevated: never the user's TMP, which the user sets (HKCU\Environment) and may point
        // at a drive without access lists or at a share that ignores our sharing modes.
        const DWORD length = ::GetWindowsDirectoryW(buffer, MAX_PATH + 1);
        if (length > 0 && length < MAX_PATH - 6) {
            return WithBackslash(std::wstring(buffer, length)) + L"Temp\\";
        }
        return {};
    }
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return WithBackslash(std::wstring(buffer, length));
}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept
{
    if (this != &other) {
        Remove();
        m_folder = std::move(other.m_folder);
        m_path = std::move(other.m_path);
        m_volume = other.m_volume;
        m_index = other.m_index;
    }
    return *this;
}

WorkFolder WorkFolder::Create(const std::wstring& parent)
{
    WorkFolder created;
    if (parent.empty()) {
        LOG(L"no work folder: no temporary folder to make it in\r\n");
        return created;
    }
    const bool elevated = Utils::RouteForThisProcess() != Utils::UserStartRoute::Plain;
    const std::wstring sddl = WorkFolderSddl(elevated, elevated ? std::wstring() : CurrentUserSid());
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        LOG(L"no work folder: its access list could not be built, error %lu\r\n", ::GetLastError());
        return created;
    }
    Utils::UniqueLocalMem ownedDescriptor(descriptor);
    DWORD error = 0;
    // An existing name is never taken over: another random name is tried instead.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::wstring name = RandomName();
        if (name.empty()) {
            error = ERROR_GEN_FAILURE;
            break;
        }
        const std::wstring path = WithBackslash(parent) + name;
        // Created and opened in one step, with its descriptor: there is no moment when the
        // folder exists unprotected or unheld. No delete sharing: it cannot be renamed or
        // removed while held.
        // The handle has no delete access: a program started with the folder as its current
        // directory opens it without delete sharing, as Windows does for every current
        // directory.
        created.m_folder.reset(OpenNt(nullptr, L"\\??\\" + path,
            FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES
                | READ_CONTROL,
            FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_CREATE, FILE_DIRECTORY_FILE, descriptor, error));
        BY_HANDLE_FILE_INFORMATION identity {};
        if (created.m_folder && !::GetFileInformationByHandle(created.m_folder.get(), &identity)) {
            error = ::GetLastError();
            created.m_folder.reset();
            break;
        }
        if (created.m_folder) {
            created.m_volume = identity.dwVolumeSerialNumber;
            created.m_index = (static_cast<unsigned long long>(identity.nFileIndexHigh) << 32) | identity.nFileIndexLow;
            created.m_path = path + L"\\";
            LOG(L"work folder '%s'\r\n", created.m_path.c_str());
            return created;
        }
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            break;
        }
    }
    LOG(L"no work folder could be made in '%s' (error %lu); nothing is run from a weaker place\r\n", parent.c_str(),
        error);
    return created;
}

bool WorkFolder::Holds(HANDLE file) const
{
    if (!Valid() || file == INVALID_HANDLE_VALUE || file == nullptr) {
        return false;
    }
    const std::wstring folder = FinalPath(m_folder.get());
    const std::wstring path = FinalPath(file);
    if (folder.empty() || path.size() <= folder.size() + 1) {
        return false;
    }
    const std::wstring parent = path.substr(0, path.rfind(L'\\'));
    return ::CompareStringOrdinal(
               parent.c_str(), static_cast<int>(parent.size()), folder.c_str(), static_cast<int>(folder.size()), TRUE)
        == CSTR_EQUAL;
}

bool WorkFolder::Remove()
{
    if (!Valid()) {
        return true;
    }
    bool removed = EmptyFolder(m_folder.get(), 0);
    m_folder.reset();
    if (removed) {
        // Our hold allowed no delete access, ours included: the empty folder is opened once
        // more, without following a link, and deleted only when it is still the very folder
        // this run made.
        DWORD error = 0;
        const std::wstring bare = m_path.substr(0, m_path.size() - 1);
        Utils::UniqueFileHandle again(OpenNt(nullptr, L"\\??\\" + bare, DELETE | FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE, nullptr, error));
        BY_HANDLE_FILE_INFORMATION identity {};
        removed = again && ::GetFileInformationByHandle(again.get(), &identity)
            && identity.dwVolumeSerialNumber == m_volume
            && ((static_cast<unsigned long long>(identity.nFileIndexHigh) << 32) | identity.nFileIndexLow) == m_index
            && DeleteByHandle(again.get());
        ::SetLastError(removed ? 0 : error);
    }
    if (!removed) {
        LOG(L"the work folder '%s' could not be removed entirely, error %lu\r\n", m_path.c_str(), ::GetLastError());
    }
    m_path.clear();
    return removed;
}

const wchar_t* UninstallerCopyName()
{
    return L"TarvikQuill_un_asa.exe";
}

std::wstring UninstallerCopyPath(const WorkFolder& folder)
{
    return folder.Valid() ? folder.Path() + UninstallerCopyName() : std::wstring();
}

bool WorkFolder::RemoveEntry(const std::wstring& name)
{
    if (!Valid()) {
        return false;
    }
    DWORD error = 0;
    Utils::UniqueFileHandle entry(OpenNt(m_folder.get(), name, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, FILE_NON_DIRECTORY_FILE, nullptr, error));
    if (!entry) {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    return DeleteByHandle(entry.get());
}

bool WorkFolder::KeepUntilRestart()
{
    if (!Valid()) {
        return false;
    }
    bool marked = MarkForRestart(m_folder.get(), m_path, 0);
    // Our hold allows no delete sharing: let go of it before the folder itself is marked.
    m_folder.reset();
    const std::wstring bare = m_path.substr(0, m_path.size() - 1);
    if (!::MoveFileExW(bare.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) {
        LOG(L"the work folder '%s' could not be marked for removal at the next restart, error %lu\r\n", bare.c_str(),
            ::GetLastError());
        marked = false;
    }
    m_path.clear();
    return marked;
}

} // namespace Pipeline
