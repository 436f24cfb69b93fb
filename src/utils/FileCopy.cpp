#include "utils/FileCopy.h"

#include <vector>

#include "utils/Md5.h"

namespace Utils {

DWORD CopyFileContent(HANDLE from, HANDLE to, Md5Stream* md5, const std::function<bool(std::int64_t)>& more)
{
    LARGE_INTEGER start {};
    if (!::SetFilePointerEx(from, start, nullptr, FILE_BEGIN)) {
        return ::GetLastError();
    }
    std::vector<char> buffer(1024 * 1024);
    std::int64_t copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(from, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return ::GetLastError();
        }
        if (got == 0) {
            return ERROR_SUCCESS;
        }
        DWORD written = 0;
        if (!::WriteFile(to, buffer.data(), got, &written, nullptr) || written != got) {
            const DWORD error = ::GetLastError();
            return error == ERROR_SUCCESS ? ERROR_WRITE_FAULT : error;
        }
        if (md5 && !md5->Add(buffer.data(), got)) {
            return ERROR_GEN_FAILURE;
        }
        copied += got;
        if (more && !more(copied)) {
            return ERROR_CANCELLED;
        }
    }
}

std::string FileContentMd5(HANDLE file)
{
    LARGE_INTEGER start {};
    if (!::SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        return {};
    }
    Md5Stream digest;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return {};
        }
        if (got == 0) {
            return digest.Finish();
        }
        digest.Add(buffer.data(), got);
    }
}

} // namespace Utils
