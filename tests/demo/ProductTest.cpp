#include <gtest/gtest.h>

#include "DemoHelpers.h"
#include "support/TempDir.h"
#include "utils/UniqueResource.h"

using namespace DemoTest;

namespace {

struct FindWindowOf {
    DWORD processId;
    HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<FindWindowOf*>(parameter);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    ::GetClassNameW(window, className, 64);
    // Created is not yet shown: a window found between the two would fail the check below.
    if (owner == search->processId && std::wstring(className) == L"VellumoraQuorvelWindow"
        && ::IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The product's main window once it is shown, waited for up to timeoutMs; null when it
// never came or the program ended first.
HWND WaitForProductWindow(HANDLE process, DWORD processId, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    ::WaitForInputIdle(process, timeoutMs);
    for (;;) {
        FindWindowOf search { processId };
        ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            return search.found;
        }
        if (::GetTickCount64() >= deadline || ::WaitForSingleObject(process, 50) == WAIT_OBJECT_0) {
            return nullptr;
        }
    }
}

class DemoProduct : public ::testing::TestWithParam<const wchar_t*> { };

} // namespace

TEST_P(DemoProduct, ShowsItsVersionRecordsItsStartAndClosesOnRequest)
{
    const std::wstring version = GetParam();
    TestSupport::TempDir temp(L"demo_product");
    InstallArgs args;
    args.folder = temp / L"Tarvik Quill";
    ASSERT_EQ(Lines(RunPackage(version, args).output).back(), "State=Success");

    std::wstring commandLine = L"\"" + args.folder + L"\\Quorvel.exe\" --from-test 42";
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info {};
    ASSERT_TRUE(::CreateProcessW(
        nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, args.folder.c_str(), &startup, &info));
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    Utils::ScopeExit kill([&process] {
        if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process.get(), 0xDEAD);
            ::WaitForSingleObject(process.get(), 5000);
        }
    });

    const HWND window = WaitForProductWindow(process.get(), info.dwProcessId, 15000);
    ASSERT_NE(window, nullptr) << "no product window";
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    EXPECT_EQ(std::wstring(title), L"Quorvel " + version);
    EXPECT_TRUE(::IsWindowVisible(window));

    const std::string log = TestSupport::ReadFileBytes(args.folder + L"\\launched.log");
    EXPECT_NE(log.find("Quorvel " + Utf8(version) + " started: "), std::string::npos) << log;
    EXPECT_NE(log.find("--from-test 42"), std::string::npos) << log;

    ASSERT_TRUE(::PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_EQ(::WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0) << "WM_CLOSE did not end it";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(Versions, DemoProduct, ::testing::Values(L"1.0", L"2.0"));
