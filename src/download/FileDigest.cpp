#include "download/FileDigest.h"

#include <windows.h>

#include <bcrypt.h>

#include <array>
#include <cstdio>
#include <vector>

#include "utils/UniqueFile.h"
#include "utils/UniqueResource.h"

namespace Download {
namespace {

struct AlgorithmTraits {
    using Type = BCRYPT_ALG_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct HashTraits {
    using Type = BCRYPT_HASH_HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::BCryptDestroyHash(h); }
};

} // namespace

std::string FileMd5(const std::wstring& path)
{
    if (path.empty()) {
        return {};
    }
    Utils::UniqueFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) {
        return {};
    }
    Utils::UniqueResource<AlgorithmTraits> algorithm;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        return {};
    }
    Utils::UniqueResource<HashTraits> hash;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, nullptr, 0, 0))) {
        return {};
    }
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        if (got > 0 && !BCRYPT_SUCCESS(::BCryptHashData(hash.get(), chunk.data(), static_cast<ULONG>(got), 0))) {
            return {};
        }
        if (got < chunk.size()) {
            if (std::ferror(file.get())) {
                return {};
            }
            break;
        }
    }
    std::array<unsigned char, 16> digest {};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
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

} // namespace Download

namespace Download {

Md5Stream::Md5Stream()
{
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
        m_algorithm = algorithm;
        if (BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
            m_hash = hash;
            m_ok = true;
        }
    }
}

Md5Stream::~Md5Stream()
{
    if (m_hash) {
        ::BCryptDestroyHash(m_hash);
    }
    if (m_algorithm) {
        ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
}

bool Md5Stream::Add(const void* data, std::size_t size)
{
    if (m_ok && size > 0) {
        m_ok = BCRYPT_SUCCESS(
            ::BCryptHashData(m_hash, static_cast<PUCHAR>(const_cast<void*>(data)), static_cast<ULONG>(size), 0));
    }
    return m_ok;
}

bool Md5Stream::AddFile(const std::wstring& path)
{
    Utils::UniqueFile file(::_wfopen(path.c_str(), L"rb"));
    if (!file) {
        m_ok = false;
        return false;
    }
    std::vector<unsigned char> chunk(64 * 1024);
    for (;;) {
        const std::size_t got = std::fread(chunk.data(), 1, chunk.size(), file.get());
        Add(chunk.data(), got);
        if (got < chunk.size()) {
            m_ok = m_ok && !std::ferror(file.get());
            return m_ok;
        }
    }
}

std::string Md5Stream::Finish()
{
    std::array<unsigned char, 16> digest {};
    if (!m_ok || !BCRYPT_SUCCESS(::BCryptFinishHash(m_hash, digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        m_ok = false;
        return {};
    }
    m_ok = false;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

} // namespace Download
