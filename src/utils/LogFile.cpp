#include "utils/LogFile.h"

#include <atomic>
#include <mutex>

#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace Utils {
namespace {

std::mutex g_fileMutex;
UniqueFileHandle g_file;
std::wstring g_path;
std::atomic<bool> g_fileOpen { false };

} // namespace

DWORD StartLogFile(const std::wstring& path, bool mustBeNew)
{
    // A read-only file is its owner's "do not write"; not every file system enforces it for
    // every account (Wine's does not for root), so it is honoured here.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)
        && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ERROR_ACCESS_DENIED;
    }
    // Append-only access: every write lands at the end, also when another process (a second
    // run with the same "-log=") appends to the same file.
    UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, mustBeNew ? CREATE_NEW : OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        return error == ERROR_SUCCESS ? ERROR_OPEN_FAILED : error;
    }
    BY_HANDLE_FILE_INFORMATION information {};
    if (!::GetFileInformationByHandle(file.get(), &information)) {
        return ERROR_OPEN_FAILED;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || information.nNumberOfLinks > 1) {
        return ERROR_CANT_ACCESS_FILE;
    }
    std::lock_guard<std::mutex> lock(g_fileMutex);
    g_file = std::move(file);
    g_path = path;
    g_fileOpen = true;
    return ERROR_SUCCESS;
}

std::wstring LogFilePath()
{
    std::lock_guard<std::mutex> lock(g_fileMutex);
    return g_fileOpen ? g_path : std::wstring();
}

void StopLogFile()
{
    std::lock_guard<std::mutex> lock(g_fileMutex);
    g_fileOpen = false;
    g_file.reset();
}

namespace detail {

void WriteLogFileLine(const wchar_t* line)
{
    if (!g_fileOpen) {
        return;
    }
    std::string bytes = WideToMultiByte(line, CP_UTF8);
    if (bytes.empty() || bytes.back() != '\n') {
        bytes += "\r\n";
    }
    std::lock_guard<std::mutex> lock(g_fileMutex);
    if (g_file) {
        DWORD written = 0;
        ::WriteFile(g_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

} // namespace detail
} // namespace Utils
