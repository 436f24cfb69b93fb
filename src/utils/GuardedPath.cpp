#include "utils/GuardedPath.h"

#include <winternl.h>

#include <cwchar>
#include <vector>

namespace Utils {
namespace {

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER,
    ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
using RtlNtStatusToDosErrorFn = ULONG(NTAPI*)(NTSTATUS);

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr ACCESS_MASK kFolderAccess = FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BAL);
constexpr auto kFileRenameInformation = static_cast<FILE_INFORMATION_CLASS>(10);

template <typename F> F NtExport(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), name)));
}

// Looked up before any crash handler needs them.
const NtCreateFileFn g_ntCreateFile = NtExport<NtCreateFileFn>("NtCreateFile");
const NtSetInformationFileFn g_ntSetInformationFile = NtExport<NtSetInformationFileFn>("NtSetInformationFile");
const RtlNtStatusToDosErrorFn g_toDosError = NtExport<RtlNtStatusToDosErrorFn>("RtlNtStatusToDosError");

DWORD ErrorOf(NTSTATUS status)
{
    if (status == kFileIsADirectory) {
        return ERROR_DIRECTORY;
    }
    const DWORD error = g_toDosError ? g_toDosError(status) : ERROR_OPEN_FAILED;
    return error == ERROR_SUCCESS ? ERROR_OPEN_FAILED : error;
}

// One entry of root, opened as itself: a link there is opened, not followed.
DWORD OpenRelative(HANDLE root, const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, ULONG options,
    UniqueFileHandle& out, ULONG_PTR* outcome = nullptr)
{
    if (!g_ntCreateFile) {
        return ERROR_PROC_NOT_FOUND;
    }
    const std::size_t length = std::wcslen(name);
    if (length == 0 || length > 255) {
        return ERROR_INVALID_NAME;
    }
    UNICODE_STRING objectName {};
    objectName.Buffer = const_cast<PWSTR>(name);
    objectName.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes {};
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, root, nullptr);
    IO_STATUS_BLOCK io {};
    HANDLE handle = INVALID_HANDLE_VALUE;
    const NTSTATUS status
        = g_ntCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share,
            disposition, options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) {
        return ErrorOf(status);
    }
    out.reset(handle);
    if (outcome) {
        *outcome = io.Information;
    }
    return ERROR_SUCCESS;
}

// What an open entry must not be for a run to write it.
DWORD RefuseEntry(HANDLE entry, bool existed)
{
    BY_HANDLE_FILE_INFORMATION information {};
    if (!::GetFileInformationByHandle(entry, &information)) {
        return ERROR_OPEN_FAILED;
    }
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        return ERROR_DIRECTORY;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks > 1) {
        return ERROR_CANT_ACCESS_FILE;
    }
    // Its owner's "do not write", which not every account is held to (Wine's root is not).
    if (existed && (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// The volume's root with its backslash, and where the names below it start; empty root for a
// path that is not a full path of a drive or a share.
std::wstring RootOf(std::wstring& path, std::size_t& rest)
{
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) {
        path = L"\\\\" + path.substr(8);
    } else if (path.rfind(L"\\\\?\\", 0) == 0) {
        path = path.substr(4);
    }
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])
        && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        rest = 3;
        return path.substr(0, 2) + L"\\";
    }
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2])) {
        std::size_t server = 2;
        while (server < path.size() && !IsSeparator(path[server])) {
            ++server;
        }
        std::size_t share = server + 1;
        while (share < path.size() && !IsSeparator(path[share])) {
            ++share;
        }
        if (server + 1 < share && share <= path.size()) {
            rest = share;
            return L"\\\\" + path.substr(2, server - 2) + L"\\" + path.substr(server + 1, share - server - 1) + L"\\";
        }
    }
    return {};
}

} // namespace

DWORD GuardedFolder::Open(const std::wstring& folder, GuardedFolder& out)
{
    std::wstring path = folder;
    std::size_t at = 0;
    std::wstring walked = RootOf(path, at);
    if (walked.empty()) {
        return ERROR_INVALID_NAME;
    }
    UniqueFileHandle current(::CreateFileW(walked.c_str(), kFolderAccess, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!current) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_PATH_NOT_FOUND : error;
    }
    while (at < path.size()) {
        if (IsSeparator(path[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::wstring name = path.substr(at, end - at);
        at = end;
        if (name == L"." || name == L"..") {
            return ERROR_INVALID_NAME;
        }
        UniqueFileHandle next;
        if (const DWORD error
            = OpenRelative(current.get(), name.c_str(), kFolderAccess, kShareAll, FILE_OPEN, FILE_DIRECTORY_FILE, next);
            error != ERROR_SUCCESS) {
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_DIRECTORY ? ERROR_PATH_NOT_FOUND : error;
        }
        walked += (walked.back() == L'\\' ? L"" : L"\\") + name;
        if (IsLink(next.get(), walked)) {
            return ERROR_CANT_ACCESS_FILE;
        }
        current = std::move(next);
    }
    out.m_handle = std::move(current);
    out.m_path = std::move(walked);
    return ERROR_SUCCESS;
}

bool GuardedFolder::IsLink(HANDLE folder, const std::wstring& path)
{
    FILE_ATTRIBUTE_TAG_INFO tag {};
    if (!::GetFileInformationByHandleEx(folder, FileAttributeTagInfo, &tag, sizeof(tag))) {
        return true; // what cannot be told is not walked into
    }
    // The handle tells on Windows. Wine opens a host link as the folder it points at and
    // tells only by name, so the name is asked too.
    const DWORD byName = ::GetFileAttributesW(path.c_str());
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        || (byName != INVALID_FILE_ATTRIBUTES && (byName & FILE_ATTRIBUTE_REPARSE_POINT));
}

DWORD GuardedFolder::OpenFolder(const std::wstring& name, GuardedFolder& out) const
{
    if (!IsOpen()) {
        return ERROR_INVALID_HANDLE;
    }
    if (name == L"." || name == L".." || name.find_first_of(L"\\/") != std::wstring::npos) {
        return ERROR_INVALID_NAME;
    }
    UniqueFileHandle next;
    if (const DWORD error
        = OpenRelative(m_handle.get(), name.c_str(), kFolderAccess, kShareAll, FILE_OPEN_IF, FILE_DIRECTORY_FILE, next);
        error != ERROR_SUCCESS) {
        return error;
    }
    const std::wstring path = m_path + (m_path.back() == L'\\' ? L"" : L"\\") + name;
    if (IsLink(next.get(), path)) {
        return ERROR_CANT_ACCESS_FILE;
    }
    out.m_handle = std::move(next);
    out.m_path = path;
    return ERROR_SUCCESS;
}

DWORD GuardedFolder::OpenFile(
    const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, UniqueFileHandle& file) const
{
    if (!IsOpen()) {
        return ERROR_INVALID_HANDLE;
    }
    UniqueFileHandle opened;
    ULONG_PTR outcome = 0;
    if (const DWORD error = OpenRelative(m_handle.get(), name, access | FILE_READ_ATTRIBUTES, share, disposition,
            FILE_NON_DIRECTORY_FILE, opened, &outcome);
        error != ERROR_SUCCESS) {
        return error;
    }
    // A file this call made is no one else's (and Wine cannot describe one made in a folder
    // renamed since it was opened).
    if (outcome != FILE_CREATED) {
        if (const DWORD error = RefuseEntry(opened.get(), true); error != ERROR_SUCCESS) {
            return error;
        }
    }
    file = std::move(opened);
    return ERROR_SUCCESS;
}

DWORD GuardedFolder::OpenForReading(const wchar_t* name, ACCESS_MASK access, ULONG share, UniqueFileHandle& file) const
{
    if (!IsOpen()) {
        return ERROR_INVALID_HANDLE;
    }
    UniqueFileHandle opened;
    if (const DWORD error = OpenRelative(
            m_handle.get(), name, access | FILE_READ_ATTRIBUTES, share, FILE_OPEN, FILE_NON_DIRECTORY_FILE, opened);
        error != ERROR_SUCCESS) {
        return error;
    }
    FILE_ATTRIBUTE_TAG_INFO tag {};
    if (!::GetFileInformationByHandleEx(opened.get(), FileAttributeTagInfo, &tag, sizeof(tag))) {
        return ERROR_OPEN_FAILED;
    }
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        return ERROR_CANT_ACCESS_FILE;
    }
    file = std::move(opened);
    return ERROR_SUCCESS;
}

DWORD GuardedFolder::CheckReplaceable(const wchar_t* name) const
{
    if (!IsOpen()) {
        return ERROR_INVALID_HANDLE;
    }
    UniqueFileHandle existing;
    const DWORD error = OpenRelative(m_handle.get(), name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, 0, existing);
    if (error == ERROR_FILE_NOT_FOUND) {
        return ERROR_SUCCESS;
    }
    return error != ERROR_SUCCESS ? error : RefuseEntry(existing.get(), true);
}

DWORD GuardedFolder::MoveInto(HANDLE file, const std::wstring& name, bool replace) const
{
    if (!IsOpen() || !g_ntSetInformationFile) {
        return ERROR_PROC_NOT_FOUND;
    }
    // kernelbase's FileRenameInfo refuses a folder handle under Wine; ntdll's takes it.
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = replace ? TRUE : FALSE;
    rename->RootDirectory = m_handle.get();
    rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::wmemcpy(rename->FileName, name.data(), name.size());
    IO_STATUS_BLOCK io {};
    const NTSTATUS status
        = g_ntSetInformationFile(file, &io, buffer.data(), static_cast<ULONG>(buffer.size()), kFileRenameInformation);
    return status < 0 ? ErrorOf(status) : ERROR_SUCCESS;
}

bool SplitFilePath(const std::wstring& path, std::wstring& folder, std::wstring& name)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash < 2 || slash + 1 == path.size()) {
        return false;
    }
    // A file at the drive's root has the root for its folder ("C:\", never "C:").
    folder = path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash);
    name = path.substr(slash + 1);
    return true;
}

DWORD OpenGuardedFile(
    const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG disposition, UniqueFileHandle& file)
{
    std::wstring folderPath;
    std::wstring name;
    if (!SplitFilePath(path, folderPath, name)) {
        return ERROR_INVALID_NAME;
    }
    GuardedFolder folder;
    if (const DWORD error = GuardedFolder::Open(folderPath, folder); error != ERROR_SUCCESS) {
        return error;
    }
    return folder.OpenFile(name.c_str(), access, share, disposition, file);
}

} // namespace Utils
