#include <gtest/gtest.h>

#include "support/LogCapture.h"
#include "utils/HardDiskManager.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

namespace {

using Utils::RecordRoot;

// Each test starts and ends without the product's key in either record.
class ProductKey : public ::testing::Test {
protected:
    void SetUp() override { TearDown(); }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Utils::kProductRegistryKey, KEY_WOW64_32KEY, 0);
    }
};

} // namespace

// Each record reads back what was written into it; a value deleted is gone (a missing one
// counts as gone), and the key goes once it is empty.
TEST_F(ProductKey, WrittenValuesReadBackExactly)
{
    for (const RecordRoot root : { RecordRoot::User, RecordRoot::Machine }) {
        SCOPED_TRACE(static_cast<int>(root));
        DWORD type = 0;
        std::wstring text = L"unchanged";
        EXPECT_FALSE(Utils::ReadRegistryString(root, L"InstallPath", type, text));
        EXPECT_EQ(text, L"unchanged");

        ASSERT_TRUE(Utils::WriteRegistryString(root, L"InstallPath", L"C:\\Program Files\\Vellumora \u4E2D"));
        ASSERT_TRUE(Utils::ReadRegistryString(root, L"InstallPath", type, text));
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(text, L"C:\\Program Files\\Vellumora \u4E2D");
        EXPECT_EQ(text.find(L'\0'), std::wstring::npos);

        ASSERT_TRUE(Utils::WriteRegistryString(root, L"Empty", L""));
        ASSERT_TRUE(Utils::ReadRegistryString(root, L"Empty", type, text));
        EXPECT_EQ(text, L"");
        EXPECT_FALSE(Utils::ReadRegistryString(root, L"Missing", type, text));

        EXPECT_TRUE(Utils::DeleteRegistryValue(root, L"InstallPath"));
        EXPECT_TRUE(Utils::DeleteRegistryValue(root, L"Missing"));
        EXPECT_FALSE(Utils::DeleteProductKeyWhenEmpty(root)) << "\"Empty\" is still there";
        EXPECT_TRUE(Utils::DeleteRegistryValue(root, L"Empty"));
        EXPECT_TRUE(Utils::DeleteProductKeyWhenEmpty(root));
    }
    // The machine's record is in the 32-bit view, which a 64-bit program must ask for.
    if (sizeof(void*) == 8) {
        ASSERT_TRUE(Utils::WriteRegistryString(RecordRoot::Machine, L"InstallPath", L"x"));
        Utils::UniqueRegKey key;
        EXPECT_NE(
            ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, Utils::kProductRegistryKey, 0, KEY_READ | KEY_WOW64_64KEY, key.put()),
            ERROR_SUCCESS);
    }
}

TEST_F(ProductKey, UninstallEntryFollowsTheFolderWhenNotRecorded)
{
    EXPECT_EQ(Utils::ReadRecordedInstallation(RecordRoot::User).installPath, L"");
    EXPECT_EQ(Utils::ReadRecordedInstallation(RecordRoot::User).uninstallEntry, L"");

    ASSERT_TRUE(Utils::WriteRegistryString(RecordRoot::User, L"InstallPath", L"D:\\Apps\\V"));
    EXPECT_EQ(Utils::ReadRecordedInstallation(RecordRoot::User).uninstallEntry, L"D:\\Apps\\V\\uninst.ep");

    ASSERT_TRUE(Utils::WriteRegistryString(RecordRoot::User, L"UnInstallEp", L"E:\\Other\\uninst.ep"));
    EXPECT_EQ(Utils::ReadRecordedInstallation(RecordRoot::User).uninstallEntry, L"E:\\Other\\uninst.ep");
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
