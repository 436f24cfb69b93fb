#include "pipeline/ProtectedCopy.h"

#include <windows.h>

#include "utils/ChangeableByOthers.h"
#include "utils/FileCopy.h"
#include "utils/GuardedPath.h"
#include "utils/UniqueResource.h"

namespace Pipeline {
namespace {

std::wstring ErrorText(const wchar_t* what, DWORD error)
{
    return std::wstring(what) + L" (error " + std::to_wstring(error) + L")";
}

} // namespace

std::wstring CopyFromProtectedFolder(const std::wstring& source, const std::wstring& target)
{
    std::wstring folderPath;
    std::wstring name;
    if (!Utils::SplitFilePath(source, folderPath, name)) {
        return L"it names no file in a folder";
    }
    Utils::GuardedFolder folder;
    if (const DWORD error = Utils::GuardedFolder::Open(folderPath, folder); error != ERROR_SUCCESS) {
        return error == ERROR_CANT_ACCESS_FILE ? L"a link is on the way to its folder"
                                               : ErrorText(L"its folder cannot be opened", error);
    }
    // The walk's handle may traverse only: the folder as held is judged through a second
    // handle of the same folder.
    Utils::UniqueFileHandle judged(::ReOpenFile(folder.Handle(), READ_CONTROL,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_FLAG_BACKUP_SEMANTICS));
    if (!judged) {
        return ErrorText(L"its folder's descriptor cannot be read", ::GetLastError());
    }
    if (const std::wstring reason = Utils::OpenEntryChangeableByOthers(judged.get(), Utils::HeldEntry::Folder);
        !reason.empty()) {
        return L"its folder: " + reason;
    }
    // No write sharing: nobody changes it while it is read.
    Utils::UniqueFileHandle file;
    if (const DWORD error = folder.OpenForReading(name.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, file);
        error != ERROR_SUCCESS) {
        return error == ERROR_CANT_ACCESS_FILE ? L"it is a link" : ErrorText(L"it cannot be opened", error);
    }
    if (const std::wstring reason = Utils::OpenEntryChangeableByOthers(file.get(), Utils::HeldEntry::File);
        !reason.empty()) {
        return reason;
    }
    Utils::UniqueFileHandle copy(
        ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy) {
        return ErrorText(L"its copy cannot be made", ::GetLastError());
    }
    if (const DWORD error = Utils::CopyFileContent(file.get(), copy.get(), nullptr, [](std::int64_t) { return true; });
        error != ERROR_SUCCESS) {
        return ErrorText(L"it cannot be copied", error);
    }
    return {};
}

} // namespace Pipeline
