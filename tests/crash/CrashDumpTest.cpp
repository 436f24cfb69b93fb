// A crash of the installer leaves a minidump the log names, and a quiet run ends with code 1.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbghelp.h>

#include <filesystem>
#include <string>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"
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
