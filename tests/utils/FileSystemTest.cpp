#include <gtest/gtest.h>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/FileSystem.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

using TestSupport::TempDir;

TEST(EnsureDirectoryPath, CreatesEveryMissingLevel)
{
    TempDir dir;
    EXPECT_TRUE(Utils::EnsureDirectoryPath(dir / L"a\\b\\c"));
    EXPECT_TRUE(Utils::PathExists(dir / L"a\\b\\c"));
    EXPECT_TRUE(Utils::EnsureDirectoryPath(dir / L"d\\e\\"));
    EXPECT_TRUE(Utils::PathExists(dir / L"d\\e"));
    EXPECT_TRUE(Utils::EnsureDirectoryPath(dir / L"a\\b\\c")) << "existing folders are fine";
}

TEST(EnsureDirectoryPath, RefusesPathsLongerThan260Characters)
{
    TempDir dir;
    std::wstring path = dir.Path() + L"\\";
    path += std::wstring(260 - path.size(), L'x');
    ASSERT_EQ(path.size(), 260u);
    const std::wstring tooLong = path + L"y";
    EXPECT_FALSE(Utils::EnsureDirectoryPath(tooLong));
    EXPECT_FALSE(Utils::PathExists(tooLong));
}

TEST(EnsureDirectoryPath, KeepsWhatItMadeBeforeAFailure)
{
    TempDir dir;
    // A file where a folder should go stops the walk; the levels before it stay.
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"blocker", "x"));
    EXPECT_FALSE(Utils::EnsureDirectoryPath(dir / L"made\\sub\\..\\..\\blocker\\deeper"));
    EXPECT_TRUE(Utils::PathExists(dir / L"made\\sub"));
    EXPECT_FALSE(Utils::PathExists(dir / L"blocker\\deeper"));
}

TEST(FindProcessIdByName, FindsARunningCopyByItsExactName)
{
    TempDir dir;
    const std::wstring name = L"vlm_find_me_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::wstring copy = dir / name;
    ASSERT_TRUE(CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(Utils::FindProcessIdByName(name), 0u);

    STARTUPINFOW startup { sizeof(startup) };
    PROCESS_INFORMATION info {};
    std::wstring line = TestSupport::QuoteArgument(copy) + L" 10000";
    ASSERT_TRUE(CreateProcessW(
        nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info));
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    DWORD found = 0;
    for (int i = 0; i < 100 && found == 0; ++i) {
        found = Utils::FindProcessIdByName(name);
        if (found == 0) {
            Sleep(50);
        }
    }
    EXPECT_EQ(found, info.dwProcessId);
    std::wstring upper = name;
    for (auto& c : upper) {
        c = towupper(c);
    }
    EXPECT_EQ(Utils::FindProcessIdByName(upper), 0u) << "the comparison is exact";
    EXPECT_EQ(Utils::FindProcessIdInOurSessionOrFolder(name, L"C:\\elsewhere"), info.dwProcessId) << "our session";
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), 5000);
}

// Another session's program counts only from inside the installation's folder.
TEST(FindProcessIdByName, AProgramIsInAFolderOnlyBelowIt)
{
    const struct {
        const wchar_t* path;
        const wchar_t* folder;
        bool inside;
    } cases[] = {
        { L"C:\\Program Files (x86)\\TarvikQuill\\Quorvel.exe", L"C:\\Program Files (x86)\\TarvikQuill", true },
        { L"c:\\program files (x86)\\tarvikquill\\bin\\Quorvel.exe", L"C:\\Program Files (x86)\\TarvikQuill\\", true },
        { L"C:\\Program Files (x86)\\TarvikQuill2\\Quorvel.exe", L"C:\\Program Files (x86)\\TarvikQuill", false },
        { L"C:\\Users\\eve\\Quorvel.exe", L"C:\\Program Files (x86)\\TarvikQuill", false },
        { L"", L"C:\\Program Files (x86)\\TarvikQuill", false },
        { L"C:\\Quorvel.exe", L"", false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Utils::IsInsideFolder(c.path, c.folder), c.inside) << c.path << " in " << c.folder;
    }
}
