// The result file a deployment tool reads: its JSON, and how it replaces an earlier one; and
// the help a tool reads from the standard output.
#include <gtest/gtest.h>

#include <json/json.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>

#include "app/CallerOutput.h"
#include "app/ResultFile.h"
#include "support/TempDir.h"
#include "support/UnixLink.h"
#include "utils/FileSystem.h"
#include "utils/GuardedPath.h"
#include "utils/LogFile.h"
#include "utils/OutputFile.h"
#include "utils/UniqueResource.h"

using TestSupport::TempDir;

TEST(ResultFile, OneJsonObjectWithNullWhereTheRunHasNoFact)
{
    App::RunResult none;
    none.exitCode = 2;
    none.scope = L"user";
    App::RunResult all;
    all.exitCode = 3010;
    all.verdict = L"installed";
    all.version = L"2.1 \"beta\"\t\\";
    all.folder = L"C:\\Program Files\\Tarvik 安装";
    all.scope = L"machine";
    all.rebootRequired = true;
    all.log = L"C:\\logs\\run.log";
    all.packageExitStatus = 3010;
    App::RunResult crash;
    crash.exitCode = -1;
    crash.packageExitStatus = 0xC0000005;

    const struct {
        const char* name;
        const App::RunResult& result;
        const char* text;
    } cases[] = {
        { "no facts", none,
            "{\n  \"exitCode\": 2,\n  \"verdict\": null,\n  \"version\": null,\n  \"folder\": null,\n"
            "  \"scope\": \"user\",\n  \"rebootRequired\": false,\n  \"log\": null,\n  \"packageExitStatus\": "
            "null\n}\n" },
        { "every fact", all,
            "{\n  \"exitCode\": 3010,\n  \"verdict\": \"installed\",\n  \"version\": \"2.1 \\\"beta\\\"\\u0009\\\\\",\n"
            "  \"folder\": \"C:\\\\Program Files\\\\Tarvik \xE5\xAE\x89\xE8\xA3\x85\",\n  \"scope\": \"machine\",\n"
            "  \"rebootRequired\": true,\n  \"log\": \"C:\\\\logs\\\\run.log\",\n  \"packageExitStatus\": 3010\n}\n" },
        { "numbers beyond 31 bits", crash,
            "{\n  \"exitCode\": -1,\n  \"verdict\": null,\n  \"version\": null,\n  \"folder\": null,\n"
            "  \"scope\": \"\",\n  \"rebootRequired\": false,\n  \"log\": null,\n  \"packageExitStatus\": "
            "3221225477\n}\n" },
    };
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = App::ResultFileText(c.result);
        EXPECT_EQ(text, c.text);
        Json::Value parsed;
        std::string error;
        ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &parsed, &error)) << error;
        EXPECT_EQ(parsed.size(), 8u);
    }
}

TEST(OutputFile, ReplacedAllOrNothingNeverThroughALink)
{
    TempDir dir(L"result file");
    const std::wstring path = dir / L"result.json";
    ASSERT_EQ(Utils::WriteFileAtomically(path, "first"), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(Utils::WriteFileAtomically(path, "second"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(TestSupport::ReadFileBytes(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "no file left beside it";
    {
        // Held open by another program: the rename fails, the old result stays, and the new
        // file beside it goes too.
        Utils::UniqueFileHandle held(
            ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        EXPECT_NE(Utils::WriteFileAtomically(path, "third"), static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(TestSupport::ReadFileBytes(path), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "the new file is removed";

    // Elsewhere, with content that must stay: what a link would lead to.
    const std::wstring elsewhere = dir / L"elsewhere";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(elsewhere));
    ASSERT_TRUE(TestSupport::WriteFileBytes(elsewhere + L"\\result.json", "keep"));
    const std::wstring readOnly = dir / L"read-only.json";
    ASSERT_TRUE(TestSupport::WriteFileBytes(readOnly, "keep"));
    ASSERT_TRUE(::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
    const struct {
        const char* name;
        std::wstring path;
        DWORD error;
    } cases[] = {
        { "missing folder", dir / L"missing\\result.json", ERROR_PATH_NOT_FOUND },
        { "a folder there", elsewhere, ERROR_DIRECTORY },
        { "read-only", readOnly, ERROR_ACCESS_DENIED },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Utils::WriteFileAtomically(c.path, "overwritten"), c.error);
    }
    EXPECT_EQ(TestSupport::ReadFileBytes(readOnly), "keep");
    ::SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_NORMAL);

    // A link on the way. Made beside the test's folder, not in it: Wine cannot delete a host
    // link to a folder, and the folder's removal would walk into it; a later run replaces it.
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::wstring link = std::wstring(temp) + L"vlm result file link";
    if (!TestSupport::MakeUnixSymlink(elsewhere, link)) {
        GTEST_SKIP() << "no host link can be made here";
    }
    EXPECT_EQ(
        Utils::WriteFileAtomically(link + L"\\result.json", "overwritten"), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
    EXPECT_EQ(TestSupport::ReadFileBytes(elsewhere + L"\\result.json"), "keep");
}

namespace {

std::ptrdiff_t FilesUnder(const std::wstring& folder)
{
    std::ptrdiff_t files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(std::filesystem::path(folder))) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    return files;
}

} // namespace

// Every file the run names by path (the log, a new log of its own, the crash dump, the result
// file) is made through one walk of its folders by handle: a link anywhere on the way, or a
// second name of the file, refuses it, and nothing lands behind the link.
TEST(GuardedFolder, ALinkOnTheWayOrAHardLinkRefusesEveryFileTheRunNames)
{
    TempDir dir(L"guarded");
    const std::wstring elsewhere = dir / L"elsewhere";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(elsewhere + L"\\logs"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"mine.log", "keep"));
    ASSERT_TRUE(::CreateHardLinkW((dir / L"second name.log").c_str(), (dir / L"mine.log").c_str(), nullptr));
    const std::wstring link = dir / L"link";
    if (!TestSupport::MakeUnixSymlink(elsewhere, link)) {
        GTEST_SKIP() << "no host link can be made here";
    }
    Utils::ScopeExit unlink([&] { TestSupport::RemoveUnixLink(link); });

    const struct {
        const char* name;
        DWORD (*write)(const std::wstring&);
    } kinds[] = {
        { "log",
            [](const std::wstring& path) {
                const DWORD error = Utils::StartLogFile(path);
                Utils::StopLogFile();
                return error;
            } },
        { "dump",
            [](const std::wstring& path) {
                Utils::UniqueFileHandle file;
                return Utils::OpenGuardedFile(path, GENERIC_WRITE, 0, FILE_CREATE, file);
            } },
        { "result file",
            [](const std::wstring& path) {
                return Utils::WriteFileAtomically(path, "x");
            } },
    };
    const struct {
        const char* name;
        std::wstring path;
    } ways[] = {
        { "the file's folder a link", link + L"\\run.log" },
        { "a folder above a link", link + L"\\logs\\run.log" },
    };
    for (const auto& kind : kinds) {
        SCOPED_TRACE(kind.name);
        for (const auto& way : ways) {
            SCOPED_TRACE(way.name);
            EXPECT_EQ(kind.write(way.path), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
        }
        if (std::string(kind.name) != "dump") { // a dump is a new file only
            EXPECT_EQ(kind.write(dir / L"second name.log"), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
        }
    }
    EXPECT_EQ(FilesUnder(elsewhere), 0) << "nothing written behind the link";
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"mine.log"), "keep");
}

// Checked by path and then written by path, a folder could be swapped between the two: the
// folder held is written into whatever its path has come to lead to.
TEST(GuardedFolder, TheFolderHeldIsWrittenWhenItsPathIsSwappedForALink)
{
    TempDir dir(L"guarded swap");
    const std::wstring held = dir / L"held";
    const std::wstring elsewhere = dir / L"elsewhere";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(held));
    ASSERT_TRUE(Utils::EnsureDirectoryPath(elsewhere));
    Utils::GuardedFolder folder;
    ASSERT_EQ(Utils::GuardedFolder::Open(held, folder), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(::MoveFileW(held.c_str(), (dir / L"moved").c_str()));
    if (!TestSupport::MakeUnixSymlink(elsewhere, held)) {
        GTEST_SKIP() << "no host link can be made here";
    }
    Utils::ScopeExit unlink([&] { TestSupport::RemoveUnixLink(held); });

    Utils::UniqueFileHandle file;
    ASSERT_EQ(folder.OpenFile(L"result.tmp", GENERIC_WRITE | DELETE, 0, FILE_CREATE, file),
        static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(Utils::PathExists(dir / L"moved\\result.tmp"));
    // Wine cannot rename a file made in a folder renamed since (error 6); Windows does. Either
    // way the name never lands behind the link.
    if (folder.MoveInto(file.get(), L"result.json", true) == ERROR_SUCCESS) {
        EXPECT_TRUE(Utils::PathExists(dir / L"moved\\result.json"));
    }
    file.reset();
    EXPECT_EQ(FilesUnder(elsewhere), 0);
}

// A tool that reads the installer's output only once it has ended (or never) must not hold
// "-help" for ever: more than a pipe's buffer holds is given up after the limit.
TEST(CallerOutput, APipeNobodyReadsHoldsItNoLongerThanTheLimit)
{
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(::CreatePipe(&read, &write, nullptr, 0));
    Utils::UniqueHandle readEnd(read);
    Utils::UniqueHandle writeEnd(write);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    ::SetStdHandle(STD_OUTPUT_HANDLE, write);
    auto shown
        = std::async(std::launch::async, [] { return App::ShowToCaller(std::wstring(20000, L'x'), false, 300); });
    const bool ended = shown.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    readEnd.reset(); // frees a write that still waits, so the test ends either way
    EXPECT_TRUE(ended) << "the write waited for a reader beyond its limit";
    EXPECT_EQ(shown.get(), App::CallerOutput::StandardOutput);
    ::SetStdHandle(STD_OUTPUT_HANDLE, output);
}
