#include "utils/FileStamp.h"

#include <windows.h>

#include <io.h>

#include <cstring>

namespace Utils {

namespace {

std::int64_t FromFileTime(const FILETIME& time)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// FILE_ID_INFO and its class, which the headers keep for Windows 8 and later; the call
// fails on Windows 7, which has no such class.
struct FileIdInformation {
    ULONGLONG volumeSerialNumber;
    unsigned char fileId[16];
};
static_assert(sizeof(FileIdInformation) == 24);
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

bool Usable(HANDLE file)
{
    return file != nullptr && file != INVALID_HANDLE_VALUE;
}

} // namespace

bool FileStamp::Matches(const FileStamp& other) const
{
    return valid && other.valid && volume == other.volume && std::memcmp(fileId, other.fileId, sizeof fileId) == 0
        && size == other.size && lastWrite == other.lastWrite;
}

FileStamp ReadFileStamp(void* file)
{
    FileStamp stamp;
    BY_HANDLE_FILE_INFORMATION info {};
    if (!Usable(file) || !::GetFileInformationByHandle(file, &info)) {
        return stamp;
    }
    // The 128-bit id where the system has one (from Windows 8; ReFS's 64-bit index is not
    // unique), else the volume serial and the 64-bit index.
    FileIdInformation id {};
    if (::GetFileInformationByHandleEx(file, kFileIdInfo, &id, sizeof id)) {
        stamp.volume = id.volumeSerialNumber;
        std::memcpy(stamp.fileId, id.fileId, sizeof stamp.fileId);
    } else {
        stamp.volume = info.dwVolumeSerialNumber;
        const std::uint64_t index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        std::memcpy(stamp.fileId, &index, sizeof index);
    }
    stamp.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    stamp.lastWrite = FromFileTime(info.ftLastWriteTime);
    stamp.valid = true;
    return stamp;
}

FileStamp SealFileStamp(void* file)
{
    if (!Usable(file)) {
        return {};
    }
    // One tick (100 ns) before the system time: every later write is stamped with a system
    // time at least one tick later, even within the same clock interval.
    FILETIME now {};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER before {};
    before.LowPart = now.dwLowDateTime;
    before.HighPart = now.dwHighDateTime;
    before.QuadPart -= 1;
    FILETIME sealed {};
    sealed.dwLowDateTime = before.LowPart;
    sealed.dwHighDateTime = before.HighPart;
    if (!::SetFileTime(file, nullptr, nullptr, &sealed)) {
        return {};
    }
    return ReadFileStamp(file);
}

FileStamp SealFileStamp(std::FILE* stream)
{
    if (stream == nullptr || std::fflush(stream) != 0) {
        return {};
    }
    const intptr_t handle = ::_get_osfhandle(::_fileno(stream));
    if (handle == -1) {
        return {};
    }
    return SealFileStamp(reinterpret_cast<void*>(handle));
}

bool KeepsAccessLists(void* file)
{
    DWORD flags = 0;
    return Usable(file) && ::GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)
        && (flags & FILE_PERSISTENT_ACLS) != 0;
}

} // namespace Utils
