#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "utils/HardDiskManager.h"
#include "utils/Registry.h"

namespace {

// Each test starts and ends without the product's key.
class ProductKey : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey); }
};

} // namespace

TEST_F(ProductKey, WrittenValuesReadBackExactly)
{
    DWORD type = 0;
    std::wstring text = L"unchanged";
    EXPECT_FALSE(Utils::ReadRegistryString(L"InstallPath", type, text));
    EXPECT_EQ(text, L"unchanged");

    ASSERT_TRUE(Utils::WriteRegistryString(L"InstallPath", L"C:\\Program Files\\Vellumora \u4E2D"));
    ASSERT_TRUE(Utils::ReadRegistryString(L"InstallPath", type, text));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(text, L"C:\\Program Files\\Vellumora \u4E2D");
    EXPECT_EQ(text.find(L'\0'), std::wstring::npos);

    ASSERT_TRUE(Utils::WriteRegistryString(L"Empty", L""));
    ASSERT_TRUE(Utils::ReadRegistryString(L"Empty", type, text));
    EXPECT_EQ(text, L"");
    EXPECT_FALSE(Utils::ReadRegistryString(L"Missing", type, text));
}

TEST_F(ProductKey, UninstallEntryFollowsTheFolderWhenNotRecorded)
{
    EXPECT_EQ(Utils::ReadRecordedInstallation().installPath, L"");
    EXPECT_EQ(Utils::ReadRecordedInstallation().uninstallEntry, L"");

    ASSERT_TRUE(Utils::WriteRegistryString(L"InstallPath", L"D:\\Apps\\V"));
    EXPECT_EQ(Utils::ReadRecordedInstallation().uninstallEntry, L"D:\\Apps\\V\\uninst.ep");

    ASSERT_TRUE(Utils::WriteRegistryString(L"UnInstallEp", L"E:\\Other\\uninst.ep"));
    EXPECT_EQ(Utils::ReadRecordedInstallation().uninstallEntry, L"E:\\Other\\uninst.ep");
}

TEST(HardDiskManager, MissingDriveIsLoggedAndCountsAsNoSpace)
{
    TestSupport::LogCapture capture;
    Utils::HardDiskManager disk;
    EXPECT_FALSE(disk.CheckFreeSpace(L"Q:"));
    EXPECT_EQ(disk.FreeBytesAvailable(), 0u);
    const auto lines = capture.Matching(L"(Utils::HardDiskManager::CheckFreeSpace)");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(L": HardDiskManager::CheckFreeSpace FAIL code="), std::wstring::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), L"\r\n");
    EXPECT_EQ(Utils::FreeGigabytesForFolder(L"Q:\\nowhere\\x"), 0.0);

    EXPECT_TRUE(disk.CheckFreeSpace(L"C:"));
    EXPECT_GT(disk.TotalBytes(), 0u);
    EXPECT_EQ(Utils::DrivePart(L"C:\\Program Files\\x"), L"C:");
    EXPECT_EQ(Utils::DrivePart(L"relative"), L"");
}

TEST(HardDiskManager, OneGigabyteIsExactlyTwoToTheThirtiethBytes)
{
    EXPECT_FALSE(Utils::IsBelowOneGigabyte(1073741824ull));
    EXPECT_TRUE(Utils::IsBelowOneGigabyte(1073741823ull));
    EXPECT_TRUE(Utils::IsBelowOneGigabyte(0));
}
