#include "pipeline/WorkTempDir.h"

#include <windows.h>
#include <sddl.h>

#include "utils/FileSystem.h"
#include "utils/Log.h"

namespace Pipeline {

namespace {

constexpr wchar_t kWorkFolderName[] = L"~TarvikTemp.92482B06FB471E17";

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return std::wstring(temp, length);
}

// Removes a file, a link or junction (itself, not what it points at), or a folder with all
// it holds, links inside it included the same way.
bool RemoveWithoutFollowing(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return ::GetLastError() == ERROR_FILE_NOT_FOUND || ::GetLastError() == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        ::SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ::DeleteFileW(path.c_str()) != FALSE;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW entry {};
        Utils::UniqueFindHandle find(::FindFirstFileW((path + L"\\*").c_str(), &entry));
        if (find) {
            do {
                const std::wstring name = entry.cFileName;
                if (name != L"." && name != L"..") {
                    RemoveWithoutFollowing(path + L"\\" + name);
                }
            } while (::FindNextFileW(find.get(), &entry));
        }
    }
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
}

// Administrators and the system have full control; users may read and run. Protected, so
// nothing of the user's temporary folder's permissions is inherited.
bool CreateAdminOnlyFolder(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)", SDDL_REVISION_1, &descriptor, nullptr)) {
        return false;
    }
    Utils::UniqueLocalMem owned(descriptor);
    SECURITY_ATTRIBUTES attributes { sizeof(attributes), descriptor, FALSE };
    return ::CreateDirectoryW(path.c_str(), &attributes) != FALSE;
}

} // namespace

std::wstring GetWorkTempDir()
{
    const std::wstring temp = TempFolder();
    if (temp.empty()) {
        return {};
    }
    std::wstring folder = temp + kWorkFolderName + L"\\";
    if (!Utils::EnsureDirectoryPath(folder)) {
        return {};
    }
    return folder;
}

FreshWorkFolder MakeFreshWorkFolder()
{
    FreshWorkFolder fresh;
    const std::wstring temp = TempFolder();
    if (temp.empty() || !Utils::EnsureDirectoryPath(temp)) {
        return fresh;
    }
    const std::wstring folder = temp + kWorkFolderName;
    // Someone may recreate the name between removal and creation: only a folder this call
    // created itself is used.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!RemoveWithoutFollowing(folder)) {
            LOG(L"could not remove the old work folder, error %lu\r\n", ::GetLastError());
        }
        if (CreateAdminOnlyFolder(folder)) {
            fresh.lock.reset(::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
            if (fresh.lock) {
                fresh.path = folder + L"\\";
            }
            return fresh;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            break;
        }
    }
    LOG(L"no fresh work folder, error %lu\r\n", ::GetLastError());
    return fresh;
}

std::wstring UninstallerCopyPath(const std::wstring& workFolder)
{
    // The folder ends in a backslash already; Windows accepts the doubled one.
    return workFolder.empty() ? std::wstring() : workFolder + L"\\TarvikQuill_un_asa.exe";
}

} // namespace Pipeline
