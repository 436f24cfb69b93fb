#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Download {

// A default far above any real package and far below any disk.
inline constexpr std::int64_t kDefaultMaxPackageBytes = std::int64_t { 4096 } * 1024 * 1024;
// What a download leaves free on the drive it writes to: the package is installed from there,
// and the system needs room to run.
inline constexpr std::int64_t kFreeSpaceReserve = std::int64_t { 1024 } * 1024 * 1024;

// What a downloader holds a package and its transfer to, decided by the run's settings.
struct PackageRules {
    // A package whose final address carries no MD5 is handed on: a pinned signer checks it
    // before it runs, or the settings trust the network. Otherwise it is refused.
    bool acceptWithoutDigest = false;
    std::int64_t maxBytes = kDefaultMaxPackageBytes;
    std::int64_t reserveBytes = kFreeSpaceReserve;
    // The MD5 (lower-case hex) every final address must carry, "" for none: the mirrors' one
    // MD5 beside a DownloadUrl without one (Config::MirrorDigest).
    std::string requiredDigest;
    // Bytes per second the body is held to on average, all of a download's connections
    // together; 0: no limit.
    std::int64_t maxBytesPerSecond = 0;
};

// Why the package may not come from this final address: it does not carry the MD5 the rules
// require; "" when it may.
std::wstring AddressProblem(const PackageRules& rules, std::string_view finalUrl);
// The same, logged with the address (redacted) when it may not: asked before the body is
// fetched, so a package the mirrors would not serve is never downloaded. True: refused.
bool RefuseAddress(const PackageRules& rules, std::string_view finalUrl);

// Why a package of length bytes, toWrite of them still to be written to a drive with
// freeBytes free (-1: unknown, not held against it), may not be fetched; "" when it may.
std::wstring RoomProblem(const PackageRules& rules, std::int64_t length, std::int64_t toWrite, std::int64_t freeBytes);

// The most bytes a file that holds have bytes may come to: the maximum package size, and
// what the drive takes before its reserve.
std::int64_t FileBound(const PackageRules& rules, std::int64_t have, std::int64_t freeBytes);

// Free bytes on the drive of the file's folder; -1 when it cannot be read.
std::int64_t FreeBytesFor(const std::wstring& filePath);

} // namespace Download
