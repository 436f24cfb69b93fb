#pragma once

#include <cstddef>
#include <string>

namespace Download {

// MD5 of a file as 32 lower-case hex digits; "" when it cannot be read. Takes the wide
// path, so install folders outside the ANSI code page work too.
std::string FileMd5(const std::wstring& path);

// MD5 fed piece by piece, so a file can be checked while it is written.
class Md5Stream {
public:
    Md5Stream();
    ~Md5Stream();
    Md5Stream(const Md5Stream&) = delete;
    Md5Stream& operator=(const Md5Stream&) = delete;

    // False once anything failed; the digest is then "".
    bool Add(const void* data, std::size_t size);
    // Adds the whole content of a file.
    bool AddFile(const std::wstring& path);
    // 32 lower-case hex digits, or "" after a failure. Ends the stream.
    std::string Finish();

private:
    void* m_algorithm = nullptr;
    void* m_hash = nullptr;
    bool m_ok = false;
};

} // namespace Download
