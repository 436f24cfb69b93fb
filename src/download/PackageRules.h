#pragma once

#include <cstdint>
#include <string>

namespace Download {

// A default far above any real package and far below any disk.
inline constexpr std::int64_t kDefaultMaxPackageBytes = std::int64_t { 4096 } * 1024 * 1024;
// What a download leaves free on the drive it writes to: the package is installed from there,
// and the system needs room to run.
inline constexpr std::int64_t kFreeSpaceReserve = std::int64_t { 1024 } * 1024 * 1024;

// What a downloader holds a package to beyond its transfer, decided by the run's settings.
struct PackageRules {
    // A package whose final address carries no MD5 is handed on: a pinned signer checks it
    // before it runs, or the settings trust the network. Otherwise it is refused.
    bool acceptWithoutDigest = false;
    std::int64_t maxBytes = kDefaultMaxPackageBytes;
    std::int64_t reserveBytes = kFreeSpaceReserve;
};

// Why a package of length bytes, toWrite of them still to be written to a drive with
// freeBytes free (-1: unknown, not held against it), may not be fetched; "" when it may.
std::wstring RoomProblem(const PackageRules& rules, std::int64_t length, std::int64_t toWrite, std::int64_t freeBytes);

// The most bytes a file that holds have bytes may come to: the maximum package size, and
// what the drive takes before its reserve.
std::int64_t FileBound(const PackageRules& rules, std::int64_t have, std::int64_t freeBytes);

// Free bytes on the drive of the file's folder; -1 when it cannot be read.
std::int64_t FreeBytesFor(const std::wstring& filePath);

} // namespace Download
