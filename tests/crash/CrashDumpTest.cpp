// A crash of the installer leaves a minidump the log names, and a quiet run ends with code 1;
// the log, the dump and the result file are never written through a linked folder.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbghelp.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/UnixLink.h"
#include "utils/UniqueResource.h"

namespace {

// Whether the dump holds the stream, and where.
template <typename T> const T* Stream(void* base, ULONG type)
{
    MINIDUMP_DIRECTORY* entry = nullptr;
    void* data = nullptr;
    ULONG size = 0;
    return ::MiniDumpReadDumpStream(base, type, &entry, &data, &size) && size >= sizeof(T) ? static_cast<T*>(data)
                                                                                           : nullptr;
}

} // namespace

class CrashDump : public ::testing::TestWithParam<const wchar_t*> { };

TEST_P(CrashDump, AnAccessViolationLeavesADumpTheLogNames)
{
    {
        const wchar_t* where = GetParam();
        TestSupport::TempDir dir;
        ASSERT_TRUE(::SetEnvironmentVariableW(L"VLM_TEST_CRASH", where));
        const std::wstring line
            = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\VellumoraInstallerCrashTest.exe")
            + L" -quiet=true " + TestSupport::QuoteArgument(L"-log=" + (dir / L"run.log"));
        const auto run = TestSupport::RunProcessToFile(line, dir / L"out.txt", 80000);
        ::SetEnvironmentVariableW(L"VLM_TEST_CRASH", nullptr);
        ASSERT_TRUE(run.started);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 1u);

        std::wstring dump;
        for (const auto& file : std::filesystem::directory_iterator(std::filesystem::path(dir.Path()))) {
            if (file.path().extension() == L".dmp") {
                EXPECT_TRUE(dump.empty()) << "one dump";
                dump = file.path().wstring();
            }
        }
        ASSERT_FALSE(dump.empty()) << "a dump beside the log";
        const std::wstring name = dump.substr(dump.find_last_of(L'\\') + 1);
        EXPECT_EQ(name.rfind(L"VellumoraInstaller-", 0), 0u) << "named with the version and the time";
        const std::string log = TestSupport::ReadFileBytes(dir / L"run.log");
        EXPECT_NE(log.find("dump written to "), std::string::npos) << log;
        EXPECT_NE(log.find(std::string(name.begin(), name.end())), std::string::npos) << log;

        Utils::UniqueFileHandle file(::CreateFileW(
            dump.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        Utils::UniqueHandle mapping(::CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
        ASSERT_TRUE(mapping);
        void* base = ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
        ASSERT_NE(base, nullptr);
        const auto* exception = Stream<MINIDUMP_EXCEPTION_STREAM>(base, ExceptionStream);
        ASSERT_NE(exception, nullptr) << "the exception stream is readable";
        EXPECT_EQ(exception->ExceptionRecord.ExceptionCode, static_cast<ULONG>(EXCEPTION_ACCESS_VIOLATION));
        EXPECT_NE(Stream<MINIDUMP_THREAD_LIST>(base, ThreadListStream), nullptr);
        EXPECT_NE(Stream<MINIDUMP_MODULE_LIST>(base, ModuleListStream), nullptr);
        EXPECT_EQ(Stream<MINIDUMP_MEMORY64_LIST>(base, Memory64ListStream), nullptr) << "no full memory";
        ::UnmapViewOfFile(base);
    }
}

INSTANTIATE_TEST_SUITE_P(OnTheWindowsThreadAndOnAWorker, CrashDump, ::testing::Values(L"window", L"worker"),
    [](const ::testing::TestParamInfo<const wchar_t*>& info) {
        return std::string(info.param, info.param + wcslen(info.param));
    });

// The real program asked to write through a linked folder (made from the host's side, as a user
// could replace a folder on an administrator's path) refuses, as for an unusable file, and
// leaves nothing behind the link.
TEST(OutputThroughALink, TheLogTheResultFileAndTheDumpAreRefused)
{
    TestSupport::TempDir dir(L"linked output");
    const std::wstring elsewhere = dir / L"elsewhere";
    ASSERT_TRUE(::CreateDirectoryW(elsewhere.c_str(), nullptr));
    const std::wstring link = dir / L"link";
    if (!TestSupport::MakeUnixSymlink(elsewhere, link)) {
        GTEST_SKIP() << "no host link can be made here";
    }
    const struct {
        const char* name;
        std::vector<std::wstring> arguments;
        const wchar_t* temp; // the run's temporary folder; null: as it is
        const wchar_t* crash;
        DWORD exitCode;
    } cases[] = {
        { "log", { L"-log=" + link + L"\\run.log" }, nullptr, nullptr, 2 },
        { "result file", { L"-resultfile=" + link + L"\\result.json", L"-log=" + (dir / L"run.log") }, nullptr, nullptr,
            2 },
        // The own log and the dump go to the temporary folder: the log is left out, the dump
        // cannot be written, and the crash ends the run.
        { "dump", {}, link.c_str(), L"window", 1 },
    };
    wchar_t temp[MAX_PATH + 1] = {};
    wchar_t tmp[MAX_PATH + 1] = {};
    ::GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH + 1);
    ::GetEnvironmentVariableW(L"TMP", tmp, MAX_PATH + 1);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::SetEnvironmentVariableW(L"VLM_TEST_CRASH", c.crash);
        ::SetEnvironmentVariableW(L"TEMP", c.temp ? c.temp : temp);
        ::SetEnvironmentVariableW(L"TMP", c.temp ? c.temp : tmp);
        std::wstring line
            = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\VellumoraInstallerCrashTest.exe")
            + L" -quiet=true";
        for (const std::wstring& argument : c.arguments) {
            line += L" " + TestSupport::QuoteArgument(argument);
        }
        const auto run = TestSupport::RunProcessToFile(line, dir / L"out.txt", 80000);
        ::SetEnvironmentVariableW(L"VLM_TEST_CRASH", nullptr);
        ::SetEnvironmentVariableW(L"TEMP", temp);
        ::SetEnvironmentVariableW(L"TMP", tmp);
        ASSERT_TRUE(run.started);
        ASSERT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(std::filesystem::path(elsewhere)), {}), 0)
            << "nothing behind the link";
    }
    TestSupport::RemoveUnixLink(link);
}
