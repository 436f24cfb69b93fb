#include <gtest/gtest.h>

#include <string>

#include "msi/StubLog.h"
#include "msi/StubOutcome.h"
#include "support/TempDir.h"
#include "utils/UniqueResource.h"

namespace {

using Msi::StubAction;

TEST(StubOutcomeTest, OnlySuccessesSucceedAndARestartIsAskedFor)
{
    const struct {
        StubAction action;
        DWORD code;
        UINT result;
        bool restart;
    } cases[] = {
        { StubAction::Install, 0, ERROR_SUCCESS, false },
        { StubAction::Install, 3010, ERROR_SUCCESS, true },
        { StubAction::Install, 7, ERROR_INSTALL_FAILURE, false },
        { StubAction::Install, 2, ERROR_INSTALL_FAILURE, false },
        // Nothing to remove is no success for an installation.
        { StubAction::Install, 12, ERROR_INSTALL_FAILURE, false },
        { StubAction::Install, 0xFFFFFFFF, ERROR_INSTALL_FAILURE, false },
        { StubAction::Install, 1602, ERROR_INSTALL_FAILURE, false },
        { StubAction::Install, 99, ERROR_INSTALL_FAILURE, false },
        { StubAction::Remove, 0, ERROR_SUCCESS, false },
        // Removed by other means already: the package may go.
        { StubAction::Remove, 12, ERROR_SUCCESS, false },
        { StubAction::Remove, 3010, ERROR_SUCCESS, true },
        // The product stays, and so does the package that can remove it.
        { StubAction::Remove, 5, ERROR_INSTALL_FAILURE, false },
        { StubAction::Remove, 6, ERROR_INSTALL_FAILURE, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.action == StubAction::Install ? " install" : " remove"));
        const Msi::StubOutcome outcome = Msi::MapStubExit(c.action, c.code);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(outcome.restart, c.restart);
        EXPECT_NE(std::wstring(outcome.meaning), L"");
    }
}

TEST(StubOutcomeTest, TheLogIsTheOptionGivenElseTheNewestQuietLogOfTheRun)
{
    TestSupport::TempDir dir(L"stub log");
    const std::wstring older = dir / L"VellumoraInstaller-20261201-101010-4242.log";
    const std::wstring newer = dir / L"VellumoraInstaller-20261202-101010-4242.log";
    for (const std::wstring& path : { older, newer, dir / L"VellumoraInstaller-20261203-101010-14242.log",
             dir / L"VellumoraInstaller-20261203-101010-424.log" }) {
        ASSERT_TRUE(TestSupport::WriteFileBytes(path, "x"));
    }
    const auto setTime = [](const std::wstring& path, ULONGLONG ticks) {
        Utils::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        FILETIME time { static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32) };
        return ::SetFileTime(file.get(), nullptr, nullptr, &time) != FALSE;
    };
    ASSERT_TRUE(setTime(older, 133000000000000000ull));
    ASSERT_TRUE(setTime(newer, 134000000000000000ull));
    EXPECT_EQ(Msi::NewestQuietLog(dir.Path(), 4242), newer);
    ASSERT_TRUE(setTime(older, 135000000000000000ull));
    EXPECT_EQ(Msi::NewestQuietLog(dir.Path() + L"\\", 4242), older);
    EXPECT_EQ(Msi::NewestQuietLog(dir.Path(), 4243), L"");

    EXPECT_EQ(Msi::StubLogPath(L"D:\\Logs\\v.log", L"C:\\Stub", 4242), L"D:\\Logs\\v.log");
    EXPECT_EQ(Msi::StubLogPath(L"v.log", L"C:\\Stub", 4242), L"C:\\Stub\\v.log");
    ::SetEnvironmentVariableW(L"VLM_MSI_TEST_LOGS", L"E:\\Logs");
    EXPECT_EQ(Msi::StubLogPath(L"%VLM_MSI_TEST_LOGS%\\v.log", L"C:\\Stub", 4242), L"E:\\Logs\\v.log");
}

} // namespace
