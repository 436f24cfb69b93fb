#include <gtest/gtest.h>

#include <atomic>

#include "support/LogCapture.h"
#include "utils/Thread.h"

namespace {

using GetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);

std::wstring DescriptionOf(HANDLE thread)
{
    auto get = reinterpret_cast<GetThreadDescriptionFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    if (!get) {
        return L"<unsupported>";
    }
    PWSTR text = nullptr;
    std::wstring result;
    if (SUCCEEDED(get(thread, &text)) && text) {
        result = text;
        LocalFree(text);
    }
    return result;
}

} // namespace

TEST(Thread, RunsOnlyAfterResumeAndLogsBeginAndEndOnItsOwnThread)
{
    TestSupport::LogCapture capture;
    std::atomic<DWORD> ranOn { 0 };
    int argument = 0;
    void* seen = nullptr;
    Utils::Thread thread(&argument, L"ABDEF", [&](void* arg) -> unsigned {
        seen = arg;
        ranOn = GetCurrentThreadId();
        return 12345;
    });
    ASSERT_NE(thread.Handle(), nullptr);
    EXPECT_EQ(WaitForSingleObject(thread.Handle(), 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "must start suspended";
    const DWORD id = thread.Id();
    ASSERT_TRUE(thread.Resume());
    ASSERT_EQ(WaitForSingleObject(thread.Handle(), 10000), WAIT_OBJECT_0);

    DWORD exitCode = 99;
    ASSERT_TRUE(GetExitCodeThread(thread.Handle(), &exitCode));
    EXPECT_EQ(exitCode, 0u) << "the job's result is ignored";
    EXPECT_EQ(ranOn.load(), id);
    EXPECT_EQ(seen, &argument);

    const auto lines = capture.Matching(L"(Utils::Thread::CallBack)");
    ASSERT_EQ(lines.size(), 2u);
    wchar_t tid[16];
    _snwprintf(tid, 15, L"<T%05lu>", id);
    EXPECT_NE(lines[0].find(tid), std::wstring::npos);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 14), L"THREAD BEGIN\r\n");
    EXPECT_EQ(lines[1].substr(lines[1].size() - 12), L"THREAD END\r\n");

    thread.Join();
    EXPECT_EQ(thread.Handle(), nullptr);
    EXPECT_EQ(thread.Id(), static_cast<DWORD>(-1));
    thread.Join(); // a second join does nothing
    EXPECT_FALSE(thread.Resume());
}

TEST(Thread, IsNamedForDebuggersWithTheIdWhenTheNameIsEmpty)
{
    Utils::Thread named(nullptr, L"UnInstaller", [](void*) -> unsigned { return 0; });
    Utils::Thread unnamed(nullptr, L"", [](void*) -> unsigned { return 0; });
    const std::wstring namedText = DescriptionOf(named.Handle());
    if (namedText == L"<unsupported>") {
        GTEST_SKIP() << "this system has no GetThreadDescription";
    }
    EXPECT_EQ(namedText, L"UnInstaller");
    EXPECT_EQ(DescriptionOf(unnamed.Handle()), L"t" + std::to_wstring(unnamed.Id()));
    named.Resume();
    unnamed.Resume();
}

TEST(Thread, DestructionWaitsForTheJob)
{
    std::atomic<bool> finished { false };
    {
        Utils::Thread thread(nullptr, L"ABDEF", [&](void*) -> unsigned {
            Sleep(200);
            finished = true;
            return 0;
        });
        thread.Resume();
    }
    EXPECT_TRUE(finished.load());
}

TEST(Thread, OwnerRestartJoinsThePreviousThreadFirst)
{
    std::unique_ptr<Utils::Thread> slot;
    std::atomic<int> running { 0 };
    std::atomic<int> maxRunning { 0 };
    auto job = [&](void*) -> unsigned {
        const int now = ++running;
        maxRunning = std::max(maxRunning.load(), now);
        Sleep(100);
        --running;
        return 0;
    };
    Utils::StartOwnedThread(slot, nullptr, L"ABDEF", job);
    Utils::StartOwnedThread(slot, nullptr, L"ABDEF", job);
    slot->Join();
    EXPECT_EQ(maxRunning.load(), 1);
}
