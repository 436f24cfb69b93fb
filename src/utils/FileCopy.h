#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace Utils {

class Md5Stream;

// Copies the open file from, from its first byte, into the open file to, in large pieces;
// each piece also goes to md5 when one is given, and after each one more(bytes copied so far)
// says whether to go on. ERROR_SUCCESS; ERROR_CANCELLED when more said no; or the error of the
// read or the write that failed.
DWORD CopyFileContent(HANDLE from, HANDLE to, Md5Stream* md5, const std::function<bool(std::int64_t)>& more);

// The MD5 of an open file from its first byte, read through the handle: 32 lower-case hex
// digits, or "" when it cannot be read.
std::string FileContentMd5(HANDLE file);

} // namespace Utils
