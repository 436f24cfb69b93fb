#include <gtest/gtest.h>

#include <windows.h>

#include <share.h>

#include <string>

#include "support/TempDir.h"
#include "utils/FileStamp.h"
#include "utils/UniqueFile.h"
#include "utils/UniqueResource.h"

using TestSupport::TempDir;

// A stamp sealed by the writer before its close still matches the file after the close and a
// rename, and no longer after anything that changed it in between.
TEST(FileStamp, MatchesOnlyTheFileAsItsWriterLeftIt)
{
    enum class Change { None, Append, Rewrite, ReplaceWithCopy };
    const struct {
        const char* name;
        Change change;
        bool matches;
    } cases[] = {
        { "untouched, renamed", Change::None, true },
        { "a byte appended", Change::Append, false },
        { "a byte rewritten in place", Change::Rewrite, false },
        { "replaced by a copy (same length and times)", Change::ReplaceWithCopy, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::wstring part = dir / L"package.part";
        const std::wstring path = dir / L"package.exe";
        Utils::FileStamp written;
        {
            Utils::UniqueFile file(::_wfsopen(part.c_str(), L"wb+", _SH_DENYWR));
            ASSERT_TRUE(file);
            const std::string body(64 * 1024, 'p');
            ASSERT_EQ(std::fwrite(body.data(), 1, body.size(), file.get()), body.size());
            written = Utils::SealFileStamp(file.get());
        }
        ASSERT_TRUE(written.valid);
        ASSERT_EQ(written.size, 64 * 1024);
        ASSERT_TRUE(::MoveFileExW(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        if (c.change == Change::ReplaceWithCopy) {
            const std::wstring copy = dir / L"copy.exe";
            ASSERT_TRUE(::CopyFileW(path.c_str(), copy.c_str(), FALSE));
            ASSERT_TRUE(::MoveFileExW(copy.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
        } else if (c.change != Change::None) {
            Utils::UniqueFileHandle file(
                ::CreateFileW(path.c_str(), c.change == Change::Append ? FILE_APPEND_DATA : GENERIC_WRITE,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            DWORD done = 0;
            ASSERT_TRUE(file && ::WriteFile(file.get(), "!", 1, &done, nullptr));
        }
        Utils::UniqueFileHandle hold(::CreateFileW(
            path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(hold);
        EXPECT_EQ(written.Matches(Utils::ReadFileStamp(hold.get())), c.matches);
    }
}
