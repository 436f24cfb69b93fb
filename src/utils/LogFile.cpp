#include "utils/LogFile.h"

#include <atomic>
#include <mutex>

#include "utils/GuardedPath.h"
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
    // Append-only access: every write lands at the end, also when another process (a second
    // run with the same "-log=") appends to the same file. Its folders are walked by handle:
    // a link on the way, or in the file's place, is refused.
    UniqueFileHandle file;
    if (const DWORD error = OpenGuardedFile(path, FILE_APPEND_DATA | SYNCHRONIZE,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, mustBeNew ? FILE_CREATE : FILE_OPEN_IF, file);
        error != ERROR_SUCCESS) {
        return error;
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
