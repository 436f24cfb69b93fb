#include <gtest/gtest.h>

#include <objbase.h>

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "utils/SystemProbes.h"
#include "utils/Text.h"

using namespace Utils;

TEST(SystemProbes, VersionNamesFollowTheTable)
{
    EXPECT_EQ(VersionNameFromNumbers(4, 10, 0, false), L"XP-");
    EXPECT_EQ(VersionNameFromNumbers(5, 0, 2195, false), L"2K");
    EXPECT_EQ(VersionNameFromNumbers(5, 1, 2600, false), L"XP");
    EXPECT_EQ(VersionNameFromNumbers(5, 2, 3790, false), L"Server 2003");
    EXPECT_EQ(VersionNameFromNumbers(5, 2, 3790, true), L"Server 2003 R2");
    EXPECT_EQ(VersionNameFromNumbers(5, 3, 0, false), L"XP+");
    EXPECT_EQ(VersionNameFromNumbers(6, 0, 6000, false), L"Vista");
    EXPECT_EQ(VersionNameFromNumbers(6, 1, 7601, false), L"7");
    EXPECT_EQ(VersionNameFromNumbers(6, 2, 9200, false), L"8");
    EXPECT_EQ(VersionNameFromNumbers(6, 3, 9600, false), L"8.1");
    EXPECT_EQ(VersionNameFromNumbers(6, 4, 0, false), L"8.1+");
    EXPECT_EQ(VersionNameFromNumbers(10, 0, 22000, false), L"10"); // Windows 11 too
    EXPECT_EQ(VersionNameFromNumbers(10, 1, 0, false), L"10+");
    // The build's flag bits are dropped.
    EXPECT_EQ(VersionNameFromNumbers(11, 0, 0xF0005000 | 22000, false), L"11.0.22000");
}

TEST(SystemProbes, RealVersionNameComesFromTheSystem)
{
    const auto version = GetSystemVersionName();
    EXPECT_EQ(version.family, L"Windows");
    EXPECT_FALSE(version.name.empty());
}

// The 32-bit-on-64-bit answer differs by build: the shipped 32-bit program on 64-bit Windows
// runs under WOW64, its 64-bit twin never does.
TEST(SystemProbes, IsWow64OnlyForA32BitProcessOnA64BitSystem)
{
    SYSTEM_INFO native {};
    ::GetNativeSystemInfo(&native);
    const bool system64 = native.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    const bool process32 = sizeof(void*) == 4;
    EXPECT_EQ(IsWow64(), process32 && system64) << "32-bit process: " << process32 << ", 64-bit system: " << system64;
}

TEST(SystemProbes, NetworkStatusPacksStatusAboveConnectivity)
{
    EXPECT_EQ(NetworkStatusValue(0, 0), 0u);
    EXPECT_EQ(NetworkStatusValue(1, 0), 65536u);
    EXPECT_EQ(NetworkStatusValue(2, 0x41), 2u * 65536u + 0x41u);
}

TEST(SystemProbes, CheckNetworkAnswersConsistentlyUnderCom)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    TestSupport::LogCapture capture;
    const std::uint32_t value = CheckNetwork();
    CoUninitialize();
    const std::uint32_t status = value >> 16;
    const std::uint32_t connectivity = value & 0xFFFF;
    ASSERT_LE(status, 2u);
    if (status == 1) {
        EXPECT_EQ(connectivity, 0u);
        EXPECT_EQ(capture.Matching(L"(Utils::CheckNetwork)").size(), 1u);
        EXPECT_EQ(capture.Lines().back().substr(capture.Lines().back().size() - 17), L"GetConnectivity 0");
    } else if (status == 2) {
        EXPECT_NE(connectivity, 0u);
        EXPECT_NE(capture.Lines().back().find(L"get_IsConnectedToInternet:0"), std::wstring::npos);
    }
}

TEST(SystemProbes, GuidTextIs32HexDigitsWithALowerCaseThirdGroup)
{
    const GUID guid { 0x0A1B2C3D, 0xABCD, 0xEF01, { 0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0x06, 0x17 } };
    EXPECT_EQ(FormatGuidText(guid), L"0A1B2C3DABCDef01A0B1C2D3E4F50617");
    const std::wstring a = CreateGuidText();
    const std::wstring b = CreateGuidText();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of(L"0123456789ABCDEFabcdef"), std::wstring::npos);
    EXPECT_NE(a, b);
}

TEST(SystemProbes, FileMd5OfMissingEmptyAndLargeFiles)
{
    TestSupport::TempDir dir;
    const auto ansi = [](const std::wstring& path) {
        return WideToMultiByte(path, CP_ACP);
    };
    EXPECT_EQ(FileMd5(""), "");
    EXPECT_EQ(FileMd5(ansi(dir / L"missing.bin")), "");

    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"empty.bin", ""));
    EXPECT_EQ(FileMd5(ansi(dir / L"empty.bin")), "d41d8cd98f00b204e9800998ecf8427e");

    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"abc.bin", "abc"));
    EXPECT_EQ(FileMd5(ansi(dir / L"abc.bin")), "900150983cd24fb0d6963f7d28e17f72");

    std::string large(5 * 1024 * 1024 + 123, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<char>((i * 31 + i / 4096) & 0xFF);
    }
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"large.bin", large));
    EXPECT_EQ(FileMd5(ansi(dir / L"large.bin")), "5e0e6804d893970a1f5c250070fb77d8");
}
