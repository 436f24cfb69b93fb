#pragma once

#include <cstdint>
#include <string>

namespace Utils {

// Free-space figures of one volume, as the system reports them for the calling user.
class HardDiskManager {
public:
    virtual ~HardDiskManager() = default;

    // Fills the three counts for a directory or drive ("C:"); false (and logged) when the
    // system cannot answer, leaving the counts as they were.
    bool CheckFreeSpace(const std::wstring& directory);

    std::uint64_t FreeBytesAvailable() const noexcept { return m_freeBytesAvailable; }
    std::uint64_t TotalBytes() const noexcept { return m_totalBytes; }
    std::uint64_t TotalFreeBytes() const noexcept { return m_totalFreeBytes; }

private:
    std::uint64_t m_freeBytesAvailable = 0;
    std::uint64_t m_totalBytes = 0;
    std::uint64_t m_totalFreeBytes = 0;
};

inline constexpr double kBytesPerGigabyte = 1073741824.0;

// The drive part of a folder ("C:" of "C:\Program Files\x"); empty when it has none.
std::wstring DrivePart(const std::wstring& folder);

// Installing needs at least one gigabyte free on the target drive.
inline bool IsBelowOneGigabyte(std::uint64_t freeBytes)
{
    return static_cast<double>(freeBytes) / kBytesPerGigabyte < 1.0;
}

// Gigabytes free for the user on the drive of folder; a failed check counts as 0.
double FreeGigabytesForFolder(const std::wstring& folder);

} // namespace Utils
