#include "utils/HardDiskManager.h"

#include <windows.h>

#include "utils/Log.h"

namespace Utils {

bool HardDiskManager::CheckFreeSpace(const std::wstring& directory)
{
    ULARGE_INTEGER available {};
    ULARGE_INTEGER total {};
    ULARGE_INTEGER totalFree {};
    if (!::GetDiskFreeSpaceExW(directory.c_str(), &available, &total, &totalFree)) {
        LOG(L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", static_cast<long>(::GetLastError()));
        return false;
    }
    m_freeBytesAvailable = available.QuadPart;
    m_totalBytes = total.QuadPart;
    m_totalFreeBytes = totalFree.QuadPart;
    return true;
}

std::wstring DrivePart(const std::wstring& folder)
{
    if (folder.size() >= 2 && folder[1] == L':') {
        return folder.substr(0, 2);
    }
    return {};
}

double FreeGigabytesForFolder(const std::wstring& folder)
{
    HardDiskManager disk;
    disk.CheckFreeSpace(DrivePart(folder));
    return static_cast<double>(disk.FreeBytesAvailable()) / kBytesPerGigabyte;
}

} // namespace Utils
