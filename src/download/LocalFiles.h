#pragma once

#include <cstdint>
#include <string>

namespace Download {

// Size of a file in bytes (64-bit), or -1 when it cannot be read.
std::int64_t LocalFileSize(const std::wstring& path);

// Deletes a file; true when it is gone (also when it never existed).
bool RemoveLocalFile(const std::wstring& path);

// Puts from in place of to, replacing an existing file.
bool ReplaceLocalFile(const std::wstring& from, const std::wstring& to);

// Cuts a file to zero bytes, creating it when missing.
bool TruncateLocalFile(const std::wstring& path);

// Cuts an existing file longer than length back to length bytes; true when it is no longer.
bool ShortenLocalFile(const std::wstring& path, std::int64_t length);

} // namespace Download
