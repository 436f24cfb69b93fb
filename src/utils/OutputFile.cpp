#include "utils/OutputFile.h"

#include <atomic>
#include <functional>

#include "utils/GuardedPath.h"
#include "utils/UniqueResource.h"

namespace Utils {
namespace {

DWORD LastErrorOr(DWORD fallback)
{
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? fallback : error;
}

// path's folder, held, and its name there, once both pass CheckFileToReplace's rules.
DWORD OpenFolderToReplace(const std::wstring& path, GuardedFolder& folder, std::wstring& name)
{
    std::wstring folderPath;
    if (!SplitFilePath(path, folderPath, name)) {
        return ERROR_INVALID_NAME;
    }
    if (const DWORD error = GuardedFolder::Open(folderPath, folder); error != ERROR_SUCCESS) {
        return error;
    }
    return folder.CheckReplaceable(name.c_str());
}

} // namespace

DWORD CheckFileToReplace(const std::wstring& path)
{
    GuardedFolder folder;
    std::wstring name;
    return OpenFolderToReplace(path, folder, name);
}

DWORD WriteFileAtomically(const std::wstring& path, std::string_view bytes)
{
    GuardedFolder folder;
    std::wstring name;
    if (const DWORD error = OpenFolderToReplace(path, folder, name); error != ERROR_SUCCESS) {
        return error;
    }
    return WriteIntoFolder(folder, name, bytes);
}

DWORD WriteIntoFolder(const GuardedFolder& folder, const std::wstring& name, std::string_view bytes)
{
    return WriteIntoFolder(folder, name, [bytes](HANDLE file) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
            || written != bytes.size()) {
            return LastErrorOr(ERROR_WRITE_FAULT);
        }
        return static_cast<DWORD>(ERROR_SUCCESS);
    });
}

DWORD WriteIntoFolder(const GuardedFolder& folder, const std::wstring& name, const std::function<DWORD(HANDLE)>& write)
{
    if (const DWORD error = folder.CheckReplaceable(name.c_str()); error != ERROR_SUCCESS) {
        return error;
    }
    static std::atomic<unsigned> counter { 0 };
    UniqueFileHandle file;
    DWORD error = ERROR_SUCCESS;
    // A new name of this process's own in the held folder (the rename stays on one volume);
    // a name already taken, whatever it is, is never opened.
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        const std::wstring temporary
            = name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
        error = folder.OpenFile(
            temporary.c_str(), GENERIC_WRITE | GENERIC_READ | DELETE, FILE_SHARE_DELETE, FILE_CREATE, file);
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    if (!file) {
        return error == ERROR_SUCCESS ? ERROR_OPEN_FAILED : error;
    }
    // Removed through the handle, never by name: the name lies in a folder others may write.
    ScopeExit removeTemporary([&] {
        FILE_DISPOSITION_INFO disposition { TRUE };
        ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    });
    if (const DWORD written = write(file.get()); written != ERROR_SUCCESS) {
        return written;
    }
    if (!::FlushFileBuffers(file.get())) {
        return LastErrorOr(ERROR_WRITE_FAULT);
    }
    // Renamed while still held (others may only delete it), so nobody writes into it between
    // the write and the rename; and into the folder held, whatever its path now leads to.
    if (const DWORD moved = folder.MoveInto(file.get(), name, true); moved != ERROR_SUCCESS) {
        return moved;
    }
    removeTemporary.dismiss();
    return ERROR_SUCCESS;
}

} // namespace Utils
