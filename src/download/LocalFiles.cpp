#include "download/LocalFiles.h"

#include <windows.h>

#include "utils/UniqueResource.h"

namespace Download {

std::int64_t LocalFileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        return -1;
    }
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

bool RemoveLocalFile(const std::wstring& path)
{
    if (::DeleteFileW(path.c_str())) {
        return true;
    }
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool ReplaceLocalFile(const std::wstring& from, const std::wstring& to)
{
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool TruncateLocalFile(const std::wstring& path)
{
    Utils::UniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.valid();
}

bool ShortenLocalFile(const std::wstring& path, std::int64_t length)
{
    if (LocalFileSize(path) <= length) {
        return true;
    }
    Utils::UniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER end {};
    end.QuadPart = length;
    return file && ::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file.get());
}

} // namespace Download
