#include <gtest/gtest.h>

#include "EventRecorder.h"
#include "download/CurlDownloader.h"
#include "download/MTCurlDownloader.h"
#include "download/WinHttpDownloader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using DownloadTests::EventRecorder;
using TestSupport::HttpFault;
using TestSupport::HttpTestServer;
using TestSupport::WideUrl;

namespace {

class DownloaderLifetime : public ::testing::TestWithParam<int> { };

} // namespace

TEST_P(DownloaderLifetime, DestroyedMidTransferReturnsQuicklyAndLeavesNoThread)
{
    TestSupport::LogCapture log;
    HttpTestServer server;
    auto body = TestSupport::MakeBody(24 * 1048576);
    server.AddBody("pkg.exe", body);
    HttpFault slow;
    slow.method = "GET";
    slow.bytesPerSecond = 512 * 1024;
    server.SetStandingFault("pkg.exe", slow);
    TestSupport::TempDir dir;

    EventRecorder events;
    auto downloader
        = CreateDownloader(GetParam(), events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader->Start();
    ASSERT_TRUE(events.WaitForCode(DL_CODE_PROGRESS, 20000)) << "the transfer is under way";

    const ULONGLONG before = GetTickCount64();
    downloader.reset();
    const ULONGLONG took = GetTickCount64() - before;
    EXPECT_LT(took, 4000u);

    const std::size_t eventsAtDestruction = events.Events().size();
    EXPECT_EQ(log.Matching(L"THREAD BEGIN").size(), log.Matching(L"THREAD END").size())
        << "every thread the downloader started has ended";
    EXPECT_EQ(events.Events().size(), eventsAtDestruction);
    EXPECT_TRUE(events.OfCode(DL_CODE_SUCCESS).empty());
    EXPECT_TRUE(events.OfCode(DL_CODE_FAIL).empty()) << "a stopped downloader reports nothing more";
}

INSTANTIATE_TEST_SUITE_P(AllThree, DownloaderLifetime, ::testing::Values(1, 2, 3));

TEST(DownloaderLifetime, StopBeforeTheProbeAnswersEndsEveryThread)
{
    TestSupport::LogCapture log;
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(2 * 1048576));
    HttpFault stall;
    stall.headerDelayMs = 20000; // the HEAD probe hangs until the downloader gives up
    server.SetStandingFault("pkg.exe", stall);
    TestSupport::TempDir dir;

    // For WinHTTP the GET itself waits for the answer.
    for (const int type : { 1, 3, 2 }) {
        SCOPED_TRACE(type);
        EventRecorder events;
        auto downloader
            = CreateDownloader(type, events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
        downloader->Start();
        ASSERT_TRUE(events.WaitForCode(DL_CODE_START, 5000));
        Sleep(300); // let the probe reach the server; not a synchronisation
        const ULONGLONG before = GetTickCount64();
        EXPECT_TRUE(downloader->Stop());
        EXPECT_LT(GetTickCount64() - before, 4000u);
        EXPECT_EQ(log.Matching(L"THREAD BEGIN").size(), log.Matching(L"THREAD END").size());
    }
}

TEST(DownloaderFactory, PicksTheClassByDownloadType)
{
    EventRecorder events;
    const auto make = [&](int type) {
        return CreateDownloader(type, events.Callback(), L"http://127.0.0.1:9/a/b.exe", L"");
    };
    for (const int type : { 0, 1, 4, -7 }) {
        EXPECT_NE(dynamic_cast<CCurlDownloader*>(make(type).get()), nullptr) << type;
    }
    EXPECT_NE(dynamic_cast<WinHttpDownloader*>(make(2).get()), nullptr);
    EXPECT_NE(dynamic_cast<CMTCurlDownloader*>(make(3).get()), nullptr);
}
