#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>

#include "ui/CMainWnd.h"
#include "session/InstallProgress.h"
#include "ui/ProgressText.h"
#include "session/StageReport.h"
#include "utils/HardDiskManager.h"

namespace {

// A message-only window of this thread that keeps what it is sent.
struct ReportSink {
    ReportSink()
    {
        window = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    }
    ~ReportSink()
    {
        DiscardQueuedStageReports(window);
        ::DestroyWindow(window);
    }
    HWND window = nullptr;
};

} // namespace

TEST(StageReport, PostedFromAnyThreadInOrderAndFreedWhenNobodyTakesThem)
{
    ReportSink sink;
    ASSERT_NE(sink.window, nullptr);
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(PostStageReport(sink.window, 1002, i / 10.0, L"m" + std::to_wstring(i)));
        }
    });
    worker.join();
    for (int i = 0; i < 2; ++i) {
        MSG msg;
        ASSERT_TRUE(::PeekMessageW(&msg, sink.window, WM_STAGE_REPORT, WM_STAGE_REPORT, PM_REMOVE));
        EXPECT_EQ(msg.message, 2024u);
        std::unique_ptr<StageReport> report(reinterpret_cast<StageReport*>(msg.lParam));
        const StageEvent& event = report->event;
        EXPECT_EQ(event.code, 1002);
        EXPECT_DOUBLE_EQ(event.progress, i / 10.0);
        EXPECT_EQ(event.message, L"m" + std::to_wstring(i));
    }
    EXPECT_EQ(DiscardQueuedStageReports(sink.window), 1) << "the last one is left for the window to free";
    EXPECT_FALSE(PostStageReport(nullptr, 2003, 0.0, L"")) << "no window: the report is freed, not leaked";
}

TEST(ReportedValues, DelaysConvertLikeTheIntegerTheyStandFor)
{
    EXPECT_EQ(DelayFromReport(0.0), 0u);
    EXPECT_EQ(DelayFromReport(3000.0), 3000u);
    EXPECT_EQ(DelayFromReport(-1.0), 4294967295u) << "-1 keeps meaning 'never'";
    EXPECT_EQ(DelayFromReport(1e300), 4294967295u);
    EXPECT_EQ(DelayFromReport(-1e300), 0x80000000u);
    EXPECT_EQ(DelayFromReport(std::nan("")), 0u);
}

TEST(FreeSpace, OneGigabyteIsEnoughAndOneByteLessIsNot)
{
    EXPECT_FALSE(Utils::IsBelowOneGigabyte(1073741824ull));
    EXPECT_TRUE(Utils::IsBelowOneGigabyte(1073741823ull));
    EXPECT_TRUE(Utils::IsBelowOneGigabyte(0));
    EXPECT_FALSE(Utils::IsBelowOneGigabyte(5ull * 1073741824ull));
}

TEST(InstallProgress, ALayoutPatternIsFilledOnlyThroughItsOneNumber)
{
    EXPECT_EQ(ProgressText(L"%d%% done", 42, 0.0f), L"42% done");
    // Anything but one integer conversion is shown as it stands instead of being trusted
    // as a format.
    EXPECT_EQ(ProgressText(L"%s %d", 42, 0.0f), L"%s %d");
    EXPECT_EQ(ProgressText(std::wstring(400, L'x') + L"%d", 1, 0.0f).size(), 249u);
}

TEST(InstallProgress, TextTellsAShortWaitFromALongOne)
{
    EXPECT_EQ(ProgressText(L"", 35, 10.0f), L"正在安装中:35%，请稍候...");
    EXPECT_EQ(ProgressText(L"", 35, 60.0f), L"正在安装中:35%，请稍候...");
    EXPECT_EQ(ProgressText(L"", 35, 60.5f), L"正在安装中:35%，请耐心等待...");
    EXPECT_EQ(ProgressText(L"Installing %d%%", 7, 100.0f), L"Installing 7%");

    InstallStopwatch watch;
    EXPECT_EQ(watch.ElapsedSeconds(5000), 0.0f);
    watch.Start(1000);
    EXPECT_EQ(watch.ElapsedSeconds(62000), 61.0f);
}
