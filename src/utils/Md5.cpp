#include "utils/Md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <array>
#include <vector>

#include "utils/UniqueFile.h"

namespace Utils {

void detail::Md5AlgorithmTraits::Close(Type h) noexcept
{
    ::BCryptCloseAlgorithmProvider(h, 0);
}
void detail::Md5HashTraits::Close(Type h) noexcept
{
    ::BCryptDestroyHash(h);
}

Md5Stream::Md5Stream()
{
    if (BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(m_algorithm.put(), BCRYPT_MD5_ALGORITHM, nullptr, 0))
        && BCRYPT_SUCCESS(::BCryptCreateHash(m_algorithm.get(), m_hash.put(), nullptr, 0, nullptr, 0, 0))) {
        m_ok = true;
    }
}

bool Md5Stream::Add(const void* data, std::size_t size)
{
    if (m_ok && size > 0) {
        m_ok = BCRYPT_SUCCESS(
            ::BCryptHashData(m_hash.get(), static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0));
    }
    return m_ok;
}

bool Md5Stream::AddStream(std::FILE* file)
{
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
        Add(chunk.data(), got);
        if (got < chunk.size()) {
            m_ok = m_ok && !std::ferror(file);
            return m_ok;
        }
    }
}

bool Md5Stream::AddFile(const std::wstring& path)
{
    UniqueFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) {
        m_ok = false;
        return false;
    }
    return AddStream(file.get());
}

std::string Md5Stream::Finish()
{
    std::array<unsigned char, 16> digest {};
    const bool finished
        = m_ok && BCRYPT_SUCCESS(::BCryptFinishHash(m_hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0));
    m_ok = false;
    if (!finished) {
        return {};
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

std::string FileMd5Wide(const std::wstring& path)
{
    if (path.empty()) {
        return {};
    }
    Md5Stream md5;
    return md5.AddFile(path) ? md5.Finish() : std::string();
}

} // namespace Utils
