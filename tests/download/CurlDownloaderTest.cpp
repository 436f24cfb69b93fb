#include <gtest/gtest.h>

#include <algorithm>

#include "EventRecorder.h"
#include "download/CurlDownloader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using DownloadTests::Codes;
using DownloadTests::EventRecorder;
using DownloadTests::GetFault;
using TestSupport::HttpFault;
using TestSupport::HttpTestServer;
using TestSupport::WideUrl;

namespace {

constexpr DWORD kRunLimitMs = 30000;

} // namespace

TEST(CCurlDownloader, FiveFailuresThenSuccessTakeSixAttempts)
{
    TestSupport::LogCapture log;
    HttpTestServer server;
    auto body = TestSupport::MakeBody(1048576 + 1);
    server.AddBody("pkg.exe", body);
    HttpFault broken = GetFault();
    broken.status = 500;
    server.QueueFaults("pkg.exe", broken, 5);
    TestSupport::TempDir dir;

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.SetRetryPause(20);
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));

    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(server.Requests("GET").size(), 6u);
    EXPECT_EQ(log.Matching(L"(CCurlDownloader::dlThreadFun)").size() > 0, true);
    EXPECT_EQ(log.Matching(L"CurlDownLoader Code=22\r\n").size(), 5u);
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
}

TEST(CCurlDownloader, SixFailuresSpendTheBudget)
{
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576));
    HttpFault broken = GetFault();
    broken.status = 500;
    server.SetStandingFault("pkg.exe", broken);
    TestSupport::TempDir dir;

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.SetRetryPause(20);
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));

    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_FAIL }));
    const auto fail = events.OfCode(DL_CODE_FAIL).at(0);
    EXPECT_EQ(fail.value, 22.0);
    EXPECT_EQ(fail.message, L"LibCurl");
    EXPECT_EQ(server.Requests("GET").size(), 6u);
}

TEST(CCurlDownloader, ElevenDropsThenSuccessTakeTwelveAttemptsAndResumeEachTime)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(1048576 + 77);
    server.AddBody("pkg.exe", body);
    HttpFault drop = GetFault();
    drop.dropAfter = 1000;
    server.QueueFaults("pkg.exe", drop, 11);
    TestSupport::TempDir dir;

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.SetRetryPause(20);
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));

    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 12u);
    EXPECT_EQ(gets[0].range, "");
    EXPECT_EQ(gets[11].range, "bytes=11000-");
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
}

TEST(CCurlDownloader, DigestFromTheUrlAfterRedirectsDecidesSuccess)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(1048576 + 5);
    server.AddBody("pkg.exe", body);
    TestSupport::TempDir dir;

    {
        EventRecorder events;
        CCurlDownloader downloader(events.Callback(), WideUrl(server.RedirectUrl("pkg.exe", 3)), dir / L"a.exe");
        downloader.Start();
        ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
        EXPECT_EQ(events.OfCode(DL_CODE_SUCCESS).at(0).message, L"LibCurl");
        EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"a.exe"), *body);
    }
    {
        EventRecorder events;
        const auto url = WideUrl(server.FileUrlWithSegment("pkg.exe", "x"));
        CCurlDownloader downloader(events.Callback(), url, dir / L"b.exe");
        downloader.Start();
        ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }))
            << "nothing vouches for a package without a digest";
        EXPECT_EQ(events.OfCode(DL_CODE_MESSAGE).at(0).message, L"curl获取url-md5失败");
        EXPECT_EQ(GetFileAttributesW((dir / L"b.exe").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(CCurlDownloader, MismatchAsksForOneRetryFromInsideTheEventThenFails)
{
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576 + 5));
    HttpFault corrupt = GetFault();
    corrupt.corrupt = true;
    server.SetStandingFault("pkg.exe", corrupt);
    TestSupport::TempDir dir;

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    DownloadTests::RestartOnRetry(events, downloader);
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs)) << "a restart from inside 1005 must not wait for its own thread";

    EXPECT_EQ(events.Codes(),
        Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }));
    for (const auto& message : events.OfCode(DL_CODE_MESSAGE)) {
        EXPECT_EQ(message.message, L"curl文件md5校验失败");
    }
    EXPECT_EQ(events.OfCode(DL_CODE_FAIL).at(0).value, 0.0);
    const auto starts = events.OfCode(DL_CODE_START);
    EXPECT_NE(starts[0].threadId, starts[1].threadId);
    EXPECT_EQ(GetFileAttributesW((dir / L"pkg.exe").c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file that failed its check is not left as the package";
}

TEST(CCurlDownloader, ProgressAtMostOncePerSecondAndNeverAboveOne)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(3 * 1048576);
    server.AddBody("pkg.exe", body);
    HttpFault slow = GetFault();
    slow.bytesPerSecond = 1048576;
    server.SetStandingFault("pkg.exe", slow);
    TestSupport::TempDir dir;

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));

    const auto progress = events.OfCode(DL_CODE_PROGRESS);
    ASSERT_GE(progress.size(), 2u);
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].value, 0.0);
        EXPECT_LE(progress[i].value, 1.0);
        if (i > 0) {
            EXPECT_GE(progress[i].tick - progress[i - 1].tick, 950u) << "report " << i;
            EXPECT_GE(progress[i].value, progress[i - 1].value);
        }
    }
}

TEST(CCurlDownloader, StalledTransferReportsNoProgress)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(2 * 1048576);
    server.AddBody("pkg.exe", body);
    HttpFault stall = GetFault();
    stall.stallMs = 2500;
    server.QueueFault("pkg.exe", stall);
    TestSupport::TempDir dir;
    // With bytes already present the percentage is above zero while nothing arrives.
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe.part", body->substr(0, 1048576)));

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    // The constructor dropped the stale part file; put it back for this run.
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe.part", body->substr(0, 1048576)));
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_TRUE(events.OfCode(DL_CODE_PROGRESS).empty()) << "speed 0 while stalled";
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
}

TEST(CCurlDownloader, EmptyLocalPathFailsAtOnce)
{
    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), L"http://127.0.0.1:9/x/y.exe", L"");
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_FAIL }));
    EXPECT_EQ(events.OfCode(DL_CODE_FAIL).at(0).value, 1.0);
    EXPECT_EQ(events.OfCode(DL_CODE_FAIL).at(0).message, L"");
}

// A package on a local or mapped drive: libcurl reads file:/// URLs, MD5 segment and all.
TEST(CCurlDownloader, AFileUrlIsDownloadedAndCheckedLikeAWebOne)
{
    HttpTestServer server; // only for the body's digest
    const auto body = TestSupport::MakeBody(1048576 + 5);
    server.AddBody("pkg.exe", body);
    const std::string md5 = server.Md5Of("pkg.exe");
    TestSupport::TempDir dir;
    const std::wstring folder = dir / std::wstring(md5.begin(), md5.end());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(TestSupport::WriteFileBytes(folder + L"\\pkg.exe", *body));
    std::wstring url = L"file:///" + folder + L"\\pkg.exe";
    std::replace(url.begin(), url.end(), L'\\', L'/');

    EventRecorder events;
    CCurlDownloader downloader(events.Callback(), url, dir / L"out.exe");
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS })) << url;
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"out.exe"), *body);
}
