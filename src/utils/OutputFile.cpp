#include "utils/OutputFile.h"

#include <atomic>

#include "utils/UniqueResource.h"

namespace Utils {
namespace {

DWORD LastErrorOr(DWORD fallback)
{
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? fallback : error;
}

// Every folder from the drive's root down to folder must exist and be no link: a link on the
// way could send the file into a protected place.
DWORD CheckFolderChain(const std::wstring& folder)
{
    for (std::size_t at = folder.find_first_of(L"\\/", 3);; at = folder.find_first_of(L"\\/", at + 1)) {
        const std::wstring step = folder.substr(0, at);
        const DWORD attributes = ::GetFileAttributesW(step.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = ::GetLastError();
            return error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : LastErrorOr(ERROR_PATH_NOT_FOUND);
        }
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return ERROR_PATH_NOT_FOUND;
        }
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            return ERROR_CANT_ACCESS_FILE;
        }
        if (at == std::wstring::npos) {
            return ERROR_SUCCESS;
        }
    }
}

} // namespace

DWORD RefuseReadOnlyFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
        && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

DWORD RefuseLinkedFile(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information {};
    if (!::GetFileInformationByHandle(file, &information)) {
        return ERROR_OPEN_FAILED;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks > 1) {
        return ERROR_CANT_ACCESS_FILE;
    }
    return ERROR_SUCCESS;
}

DWORD CheckFileToReplace(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash < 2 || slash + 1 == path.size()) {
        return ERROR_INVALID_NAME;
    }
    // A file at the drive's root has the root for its folder ("C:\\", never "C:").
    if (const DWORD error = CheckFolderChain(path.substr(0, slash == 2 ? 3 : slash)); error != ERROR_SUCCESS) {
        return error;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : LastErrorOr(ERROR_OPEN_FAILED);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        return ERROR_DIRECTORY;
    }
    if (const DWORD error = RefuseReadOnlyFile(path); error != ERROR_SUCCESS) {
        return error;
    }
    // Opened as itself, never what a link points at, only to see what it is.
    UniqueFileHandle existing(
        ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!existing) {
        return LastErrorOr(ERROR_OPEN_FAILED);
    }
    return RefuseLinkedFile(existing.get());
}

DWORD WriteFileAtomically(const std::wstring& path, std::string_view bytes)
{
    if (const DWORD error = CheckFileToReplace(path); error != ERROR_SUCCESS) {
        return error;
    }
    static std::atomic<unsigned> counter { 0 };
    std::wstring temporary;
    UniqueFileHandle file;
    // A new name of this process's own beside the target (the rename stays on one volume);
    // a name already taken, whatever it is, is never opened.
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        temporary
            = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
        file.reset(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file && ::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (!file) {
        return LastErrorOr(ERROR_OPEN_FAILED);
    }
    // Removed through the handle, never by name: the name lies in a folder others may write.
    ScopeExit removeTemporary([&] {
        FILE_DISPOSITION_INFO disposition { TRUE };
        ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    });
    DWORD written = 0;
    if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        || written != bytes.size() || !::FlushFileBuffers(file.get())) {
        return LastErrorOr(ERROR_WRITE_FAULT);
    }
    // Renamed while still held (others may only delete it), so nobody writes into it between
    // the write and the rename.
    if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return LastErrorOr(ERROR_WRITE_FAULT);
    }
    removeTemporary.dismiss();
    return ERROR_SUCCESS;
}

} // namespace Utils
