#include <gtest/gtest.h>

#include <algorithm>

#include "EventRecorder.h"
#include "download/LocalFiles.h"
#include "download/MTCurlDownloader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/WaitUntil.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using DownloadTests::Codes;
using DownloadTests::EventRecorder;
using DownloadTests::GetFault;
using TestSupport::HttpFault;
using TestSupport::HttpTestServer;
using TestSupport::WideUrl;

namespace {

constexpr DWORD kRunLimitMs = 40000;

std::vector<std::string> SortedRanges(const HttpTestServer& server)
{
    std::vector<std::string> ranges;
    for (const auto& request : server.Requests("GET")) {
        ranges.push_back(request.range);
    }
    std::sort(ranges.begin(), ranges.end());
    return ranges;
}

struct Segmented {
    EventRecorder events;
    std::unique_ptr<CMTCurlDownloader> downloader;
};

void StartSegmented(Segmented& run, const std::string& url, const std::wstring& path, bool restartOnRetry = true)
{
    run.downloader = std::make_unique<CMTCurlDownloader>(run.events.Callback(), WideUrl(url), path);
    run.downloader->SetRetryPause(10);
    if (restartOnRetry) {
        DownloadTests::RestartOnRetry(run.events, *run.downloader);
    }
    run.downloader->Start();
}

} // namespace

TEST(CMTCurlDownloader, RefusesBelow256BytesAndFetchesOneRangeFromThere)
{
    HttpTestServer server;
    server.AddBody("tiny.exe", TestSupport::MakeBody(255));
    auto body = TestSupport::MakeBody(256, 3);
    server.AddBody("small.exe", body);
    TestSupport::TempDir dir;

    Segmented tiny;
    StartSegmented(tiny, server.FileUrl("tiny.exe"), dir / L"tiny.exe");
    ASSERT_TRUE(tiny.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(tiny.events.Codes(), Codes({ DL_CODE_START, DL_CODE_FAIL }));
    EXPECT_EQ(tiny.events.OfCode(DL_CODE_FAIL).at(0).value, 0.0);
    EXPECT_TRUE(server.Requests("GET").empty());

    Segmented small;
    StartSegmented(small, server.FileUrl("small.exe"), dir / L"small.exe");
    ASSERT_TRUE(small.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(small.events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(SortedRanges(server), std::vector<std::string> { "bytes=0-255" });
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"small.exe"), *body);
    EXPECT_EQ(GetFileAttributesW((dir / L"small.exe_0").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CMTCurlDownloader, SplitsAtTwentyMebibytesWithTheLargerRangeLast)
{
    struct Case {
        std::size_t length;
        std::vector<std::string> ranges;
    };
    const Case cases[] = {
        { 20971519, { "bytes=0-20971518" } },
        { 20971520, { "bytes=0-10485759", "bytes=10485760-20971519" } },
        { 26214401, { "bytes=0-13107199", "bytes=13107200-26214400" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        HttpTestServer server;
        auto body = TestSupport::MakeBody(c.length, static_cast<unsigned>(c.length));
        server.AddBody("pkg.exe", body);
        TestSupport::TempDir dir;
        Segmented run;
        StartSegmented(run, server.RedirectUrl("pkg.exe", 1), dir / L"pkg.exe");
        ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(run.events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
        EXPECT_EQ(SortedRanges(server), c.ranges);
        EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
    }
}

TEST(CMTCurlDownloader, RetryBudgetsAreSevenAndThirteenAttempts)
{
    TestSupport::TempDir dir;
    {
        HttpTestServer server;
        server.AddBody("pkg.exe", TestSupport::MakeBody(1048576));
        HttpFault broken = GetFault();
        broken.status = 500;
        server.SetStandingFault("pkg.exe", broken);
        Segmented run;
        StartSegmented(run, server.FileUrl("pkg.exe"), dir / L"a.exe", false);
        ASSERT_TRUE(run.events.WaitForCode(DL_CODE_RETRY, kRunLimitMs));
        EXPECT_EQ(run.events.OfCode(DL_CODE_RETRY).at(0).value, 22.0);
        EXPECT_EQ(server.Requests("GET").size(), 7u);
    }
    {
        HttpTestServer server;
        server.AddBody("pkg.exe", TestSupport::MakeBody(1048576));
        HttpFault drop = GetFault();
        drop.dropAfter = 100;
        server.SetStandingFault("pkg.exe", drop);
        Segmented run;
        StartSegmented(run, server.FileUrl("pkg.exe"), dir / L"b.exe", false);
        ASSERT_TRUE(run.events.WaitForCode(DL_CODE_RETRY, kRunLimitMs));
        EXPECT_EQ(run.events.OfCode(DL_CODE_RETRY).at(0).value, 18.0);
        const auto gets = server.Requests("GET");
        ASSERT_EQ(gets.size(), 13u);
        EXPECT_EQ(gets[12].range, "bytes=1200-1048575") << "each attempt continues the range";

        // No progress was reported, so the restart begins from zero.
        server.SetStandingFault("pkg.exe", {});
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(run.events.Codes(), Codes({ DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS }));
        EXPECT_EQ(server.Requests("GET").back().range, "bytes=0-1048575");
    }
}

TEST(CMTCurlDownloader, RestartAfterRetryContinuesARangeThatProgressed)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(2 * 1048576);
    server.AddBody("pkg.exe", body);
    HttpFault slowThenDrop = GetFault();
    slowThenDrop.bytesPerSecond = 600 * 1024;
    slowThenDrop.dropAfter = 1048576;
    server.QueueFault("pkg.exe", slowThenDrop);
    HttpFault broken = GetFault();
    broken.status = 500;
    server.QueueFaults("pkg.exe", broken, 7);
    TestSupport::TempDir dir;

    Segmented run;
    StartSegmented(run, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
    ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(run.events.Codes(), Codes({ DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(run.events.OfCode(DL_CODE_RETRY).at(0).value, 22.0);
    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 9u) << "one drop, seven failures, then the restart";
    EXPECT_EQ(gets.back().range, "bytes=1048576-2097151");
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);

    const auto progress = run.events.OfCode(DL_CODE_PROGRESS);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GE(progress[i].value - progress[i - 1].value, 0.01 - 1e-9) << "the total only grows, by whole points";
    }
}

TEST(CMTCurlDownloader, ARangeThatFailsAfterPartOfItWasJoinedLeavesBothPartFilesForTheRestart)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(20971520);
    server.AddBody("pkg.exe", body);
    constexpr std::int64_t kFirstRange = 10485760;
    constexpr std::int64_t kDropAfter = 2 * 1048576;
    server.QueueFault("pkg.exe", GetFault()); // the first range arrives whole
    HttpFault slowThenDrop = GetFault();
    slowThenDrop.bytesPerSecond = 1048576;
    slowThenDrop.dropAfter = kDropAfter;
    server.QueueFault("pkg.exe", slowThenDrop);
    HttpFault broken = GetFault();
    broken.status = 500;
    server.QueueFaults("pkg.exe", broken, 7);
    TestSupport::TempDir dir;
    const std::wstring part0 = dir / L"pkg.exe_0";
    const std::wstring part1 = dir / L"pkg.exe_1";

    Segmented run;
    std::int64_t sizes[2] = { -1, -1 };
    run.events.SetReaction([&](const DownloadTests::Event& event) {
        if (event.code == DL_CODE_RETRY) {
            sizes[0] = LocalFileSize(part0);
            sizes[1] = LocalFileSize(part1);
            run.downloader->Start();
        }
    });
    StartSegmented(run, server.FileUrl("pkg.exe"), dir / L"pkg.exe", false);
    EXPECT_TRUE(TestSupport::WaitUntil([&] { return LocalFileSize(part0) > kFirstRange; }, 10000))
        << "the second range is joined while it arrives";
    ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(run.events.Codes(), Codes({ DL_CODE_START, DL_CODE_RETRY, DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(sizes[0], kFirstRange) << "part 0 holds its own range again";
    EXPECT_EQ(sizes[1], kDropAfter);
    EXPECT_EQ(server.Requests("GET").back().range, "bytes=12582912-20971519");
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
}

TEST(CMTCurlDownloader, DigestMismatchRetriesOnceAndMissingDigestFails)
{
    HttpTestServer server;
    server.AddBody("bad.exe", TestSupport::MakeBody(300000));
    HttpFault corrupt = GetFault();
    corrupt.corrupt = true;
    server.SetStandingFault("bad.exe", corrupt);
    server.AddBody("plain.exe", TestSupport::MakeBody(300000, 9));
    TestSupport::TempDir dir;

    Segmented bad;
    StartSegmented(bad, server.FileUrl("bad.exe"), dir / L"bad.exe");
    ASSERT_TRUE(bad.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(bad.events.Codes(),
        Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }));
    EXPECT_EQ(bad.events.OfCode(DL_CODE_MESSAGE).at(0).message, L"mtcurl文件md5校验失败");
    EXPECT_EQ(bad.events.OfCode(DL_CODE_FAIL).at(0).value, 0.0);
    EXPECT_EQ(GetFileAttributesW((dir / L"bad.exe").c_str()), INVALID_FILE_ATTRIBUTES);

    Segmented plain;
    StartSegmented(plain, server.FileUrlWithSegment("plain.exe", "x"), dir / L"plain.exe");
    ASSERT_TRUE(plain.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(plain.events.Codes(), Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }))
        << "nothing vouches for a package without a digest";
    EXPECT_EQ(plain.events.OfCode(DL_CODE_MESSAGE).at(0).message, L"mtcurl获取url-md5失败");
    EXPECT_EQ(GetFileAttributesW((dir / L"plain.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(CMTCurlDownloader, ServerIgnoringRangesNeverYieldsAShiftedPackage)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(20971520);
    server.AddBody("pkg.exe", body);
    HttpFault noRanges = GetFault();
    noRanges.ignoreRange = true;
    server.SetStandingFault("pkg.exe", noRanges);
    TestSupport::TempDir dir;

    Segmented run;
    StartSegmented(run, server.FileUrlWithSegment("pkg.exe", "x"), dir / L"pkg.exe");
    ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
    EXPECT_TRUE(run.events.OfCode(DL_CODE_SUCCESS).empty());
    EXPECT_EQ(run.events.Codes().back(), DL_CODE_FAIL);
}

TEST(CMTCurlDownloader, ProgressOfTwoRangesOncePerSecondInWholePoints)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(20971520 + 3);
    server.AddBody("pkg.exe", body);
    HttpFault slow = GetFault();
    slow.bytesPerSecond = 4 * 1048576;
    server.SetStandingFault("pkg.exe", slow);
    TestSupport::TempDir dir;

    Segmented run;
    StartSegmented(run, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
    ASSERT_TRUE(run.events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(run.events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    const auto progress = run.events.OfCode(DL_CODE_PROGRESS);
    ASSERT_GE(progress.size(), 2u);
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_LE(progress[i].value, 1.0);
        if (i > 0) {
            EXPECT_GE(progress[i].tick - progress[i - 1].tick, 950u);
            EXPECT_GE(progress[i].value - progress[i - 1].value, 0.01 - 1e-9);
        }
    }
}
