#include <gtest/gtest.h>

#include <memory>

#include "DemoHelpers.h"
#include "InstallRecord.h"
#include "support/TempDir.h"

using namespace DemoTest;

namespace {

class DemoUninstaller : public ::testing::Test {
protected:
    void SetUp() override
    {
        InstallArgs args;
        args.folder = m_folder;
        const auto lines = Lines(RunPackage(L"1.0", args).output);
        ASSERT_FALSE(lines.empty());
        ASSERT_EQ(lines.back(), "State=Success");
    }

    std::wstring Installed(const std::wstring& name) const { return m_folder + L"\\" + name; }

    TestSupport::TempDir m_temp { L"demo uninst" };
    std::wstring m_folder = m_temp / L"Tarvik Quill";
};

} // namespace

TEST_F(DemoUninstaller, RemovesTheInstallationAndItsFolderThenTheNextVersionInstalls)
{
    const auto result = RunUninstaller(m_folder);
    EXPECT_FALSE(result.timedOut);
    const auto lines = Lines(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Encode=UTF8");
    EXPECT_EQ(lines.back(), "State=Success") << result.output;
    EXPECT_GE(ProgressValues(lines).size(), 3u);
    EXPECT_FALSE(Exists(m_folder));

    InstallArgs args;
    args.folder = m_folder;
    EXPECT_EQ(Lines(RunPackage(L"2.0", args).output).back(), "State=Success");
    EXPECT_EQ(FileVersion(Installed(L"Quorvel.exe")), L"2.0");
}

TEST_F(DemoUninstaller, LeavesWhatItDidNotInstall)
{
    ASSERT_TRUE(TestSupport::WriteFileBytes(Installed(L"launched.log"), "Quorvel 1.0 started\r\n"));
    const auto lines = Lines(RunUninstaller(m_folder).output);
    EXPECT_EQ(lines.back(), "State=Success");
    for (const wchar_t* name : { L"Quorvel.exe", L"uninst.ep", L"config.ini", Demo::kInstallRecordName }) {
        EXPECT_FALSE(Exists(Installed(name))) << Utf8(name);
    }
    EXPECT_TRUE(Exists(Installed(L"launched.log")));
}

TEST_F(DemoUninstaller, WithoutAFolderArgumentItReportsAnError)
{
    const auto result = TestSupport::RunProcess(TestSupport::QuoteArgument(Installed(L"uninst.ep"))
            + L" /S -adminact=false -authorizationact=false -console=show",
        20000);
    const auto lines = Lines(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().compare(0, 6, "Error="), 0) << result.output;
    EXPECT_FALSE(HasLineStarting(lines, "State="));
    EXPECT_TRUE(Exists(Installed(L"Quorvel.exe")));
}

TEST_F(DemoUninstaller, AFolderWithoutRecordIsAnErrorAndAMissingFolderIsAlreadyDone)
{
    TestSupport::TempDir other(L"demo_norecord");
    ASSERT_TRUE(TestSupport::WriteFileBytes(other / L"uninst.ep", TestSupport::ReadFileBytes(Installed(L"uninst.ep"))));
    ASSERT_TRUE(TestSupport::WriteFileBytes(other / L"keep.txt", "user data"));
    auto lines = Lines(RunUninstaller(other.Path()).output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().compare(0, 6, "Error="), 0);
    EXPECT_TRUE(Exists(other / L"keep.txt"));

    // The copy comes from the installation; the folder it is told to clean is gone.
    const std::wstring copySource = other / L"copy";
    ASSERT_TRUE(::CreateDirectoryW(copySource.c_str(), nullptr));
    ASSERT_TRUE(::CopyFileW(Installed(L"uninst.ep").c_str(), (copySource + L"\\uninst.ep").c_str(), FALSE));
    const auto result = TestSupport::RunProcess(TestSupport::QuoteArgument(copySource + L"\\uninst.ep")
            + L" /S -stepms=0 -adminact=false -authorizationact=false -console=show _?=" + (other / L"gone"),
        20000);
    lines = Lines(result.output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "State=Success") << result.output;
}

TEST_F(DemoUninstaller, AFileItCannotDeleteIsAnErrorAndASecondRunFinishes)
{
    // One copy for both runs, as the installer keeps it: the first run deletes uninst.ep.
    TestSupport::TempDir copyDir(L"demo_copy");
    const std::wstring copy = copyDir / L"TarvikQuill_un_asa.exe";
    ASSERT_TRUE(::CopyFileW(Installed(L"uninst.ep").c_str(), copy.c_str(), FALSE));
    const std::wstring commandLine
        = copy + L" /S -stepms=0 -adminact=false -authorizationact=false -console=show _?=" + m_folder;

    auto lock = std::make_unique<FileLock>(Installed(L"config.ini"));
    ASSERT_TRUE(lock->locked());
    auto lines = Lines(TestSupport::RunProcess(commandLine, 20000).output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), Utf8(L"Error=无法删除文件：" + Installed(L"config.ini")));
    EXPECT_FALSE(HasLineStarting(lines, "State="));
    EXPECT_FALSE(Exists(Installed(L"Quorvel.exe")));
    const auto record = Demo::ReadInstallRecord(Installed(Demo::kInstallRecordName));
    ASSERT_TRUE(record);
    EXPECT_EQ(record->files, std::vector<std::wstring> { L"config.ini" }) << "only what is left stays on record";

    lock.reset();
    lines = Lines(TestSupport::RunProcess(commandLine, 20000).output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "State=Success");
    EXPECT_FALSE(Exists(m_folder));
}
