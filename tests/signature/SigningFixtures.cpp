#include "SigningFixtures.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "TrustRoot.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

namespace SigningTest {

namespace {

std::uint32_t Read32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    if (at + 4 <= bytes.size()) {
        std::memcpy(&value, bytes.data() + at, 4);
    }
    return value;
}

std::uint16_t Read16(const std::string& bytes, std::size_t at)
{
    std::uint16_t value = 0;
    if (at + 2 <= bytes.size()) {
        std::memcpy(&value, bytes.data() + at, 2);
    }
    return value;
}

} // namespace

std::wstring Fixture(const std::wstring& name)
{
    return TestSupport::BinDirectory() + L"\\signing\\" + name;
}

std::wstring ThumbprintOf(const std::wstring& certName)
{
    const std::string text = TestSupport::ReadFileBytes(Fixture(certName + L".sha256"));
    return std::wstring(
        text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(64, text.size())));
}

std::wstring TrustTestRoots()
{
    for (const wchar_t* root : { L"rootA.der", L"rootB.der" }) {
        std::wstring error;
        if (!TestPki::TrustRootCertificate(Fixture(root), error)) {
            return error;
        }
    }
    return {};
}

std::string Changed(const std::string& bytes, Change change)
{
    std::string changed = bytes;
    const std::uint32_t peHeader = Read32(bytes, 0x3C);
    const std::size_t optionalHeader = peHeader + 24;
    const std::uint16_t optionalSize = Read16(bytes, peHeader + 20);
    switch (change) {
    case Change::None:
        break;
    case Change::CodeByte: {
        const std::size_t firstSection = optionalHeader + optionalSize;
        const std::uint32_t rawData = Read32(bytes, firstSection + 20);
        changed.at(rawData + 0x100) ^= 0x01;
        break;
    }
    case Change::Appended:
        changed += std::string(512, 'X');
        break;
    case Change::SignatureByte: {
        // Data directory 4 (security) holds the file offset of the WIN_CERTIFICATE; the
        // directories start 96 bytes into a PE32 optional header, 112 into a PE32+ one (the
        // 64-bit twin's packages). The PKCS#7 starts 8 bytes in with SEQUENCE 30 82 hi lo.
        const bool pe32Plus = Read16(bytes, optionalHeader) == 0x20B;
        const std::uint32_t certificate = Read32(bytes, optionalHeader + (pe32Plus ? 112 : 96) + 4 * 8);
        const std::size_t der = certificate + 8;
        const std::size_t derLength = 4
            + ((static_cast<unsigned char>(bytes.at(der + 2)) << 8) | static_cast<unsigned char>(bytes.at(der + 3)));
        // The signer's signature value is the last field of the DER.
        changed.at(der + derLength - 10) ^= 0x01;
        break;
    }
    }
    return changed;
}

} // namespace SigningTest
