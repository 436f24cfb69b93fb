#include <gtest/gtest.h>

#include "EventRecorder.h"
#include "download/WinHttpDownloader.h"
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

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

TEST(WinHttpDownloader, ReportsACompleteDownloadAndReplacesAStaleFile)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(2 * 1048576 + 11);
    server.AddBody("pkg.exe", body);
    HttpFault slow = GetFault();
    slow.bytesPerSecond = 1048576;
    server.SetStandingFault("pkg.exe", slow);
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe", "stale bytes of an earlier run"));

    EventRecorder events;
    WinHttpDownloader downloader(events.Callback(), WideUrl(server.RedirectUrl("pkg.exe", 2)), dir / L"pkg.exe");
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));

    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(events.OfCode(DL_CODE_START).at(0).value, 1.0);
    const auto progress = events.OfCode(DL_CODE_PROGRESS);
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 0; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].value, 0.0);
        EXPECT_LE(progress[i].value, 1.0);
        if (i > 0) {
            EXPECT_GE(progress[i].tick - progress[i - 1].tick, 950u);
        }
    }
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
}

TEST(WinHttpDownloader, ErrorStatusEndsInFailureAndLeavesNoPackage)
{
    TestSupport::TempDir dir;
    for (const int status : { 404, 500 }) {
        SCOPED_TRACE(status);
        HttpTestServer server;
        server.AddBody("pkg.exe", TestSupport::MakeBody(5000));
        HttpFault error = GetFault();
        error.status = status;
        server.SetStandingFault("pkg.exe", error);
        ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe", "stale"));

        EventRecorder events;
        WinHttpDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
        downloader.Start();
        ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
        EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_FAIL }));
        EXPECT_EQ(events.OfCode(DL_CODE_FAIL).at(0).value, static_cast<double>(status));
        EXPECT_FALSE(Exists(dir / L"pkg.exe"));
        EXPECT_FALSE(Exists(dir / L"pkg.exe.part"));
    }
}

TEST(WinHttpDownloader, DroppedAttemptIsRepeatedWithoutKeepingItsBytes)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(400000);
    server.AddBody("pkg.exe", body);
    HttpFault drop = GetFault();
    drop.dropAfter = 70000;
    server.QueueFault("pkg.exe", drop);
    TestSupport::TempDir dir;

    EventRecorder events;
    WinHttpDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    EXPECT_EQ(server.Requests("GET").size(), 2u);
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
}

TEST(WinHttpDownloader, AResumeAnsweredWithTheWholeBodyStartsTheFileAndItsDigestAfresh)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(3 * 1048576 + 1);
    server.AddBody("pkg.exe", body);
    HttpFault drop = GetFault();
    drop.dropAfter = 1048576;
    server.QueueFault("pkg.exe", drop);
    HttpFault noRanges = GetFault();
    noRanges.ignoreRange = true;
    server.QueueFault("pkg.exe", noRanges);
    TestSupport::TempDir dir;

    EventRecorder events;
    WinHttpDownloader downloader(events.Callback(), WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe");
    downloader.SetRetryPause(10);
    downloader.Start();
    ASSERT_TRUE(events.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(events.Codes(), Codes({ DL_CODE_START, DL_CODE_SUCCESS }));
    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 2u);
    EXPECT_NE(gets[1].range, "") << "the second attempt asked for the rest";
    EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
}

TEST(WinHttpDownloader, ChecksTheDigestLikeTheSingleStreamDownloaderInItsOwnWords)
{
    HttpTestServer server;
    server.AddBody("bad.exe", TestSupport::MakeBody(300000));
    HttpFault corrupt = GetFault();
    corrupt.corrupt = true;
    server.SetStandingFault("bad.exe", corrupt);
    server.AddBody("plain.exe", TestSupport::MakeBody(300000, 4));
    TestSupport::TempDir dir;

    EventRecorder bad;
    WinHttpDownloader badDownloader(bad.Callback(), WideUrl(server.FileUrl("bad.exe")), dir / L"bad.exe");
    DownloadTests::RestartOnRetry(bad, badDownloader);
    badDownloader.Start();
    ASSERT_TRUE(bad.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(bad.Codes(),
        Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_RETRY, DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }));
    for (const auto& message : bad.OfCode(DL_CODE_MESSAGE)) {
        EXPECT_EQ(message.message, L"winhttp文件md5校验失败");
    }
    EXPECT_EQ(bad.OfCode(DL_CODE_RETRY).at(0).message, L"WinHttp");
    EXPECT_EQ(bad.OfCode(DL_CODE_FAIL).at(0).message, L"WinHttp");
    EXPECT_FALSE(Exists(dir / L"bad.exe"));

    EventRecorder plain;
    WinHttpDownloader plainDownloader(
        plain.Callback(), WideUrl(server.FileUrlWithSegment("plain.exe", "x")), dir / L"plain.exe");
    plainDownloader.Start();
    ASSERT_TRUE(plain.WaitForEnd(kRunLimitMs));
    EXPECT_EQ(plain.Codes(), Codes({ DL_CODE_START, DL_CODE_MESSAGE, DL_CODE_FAIL }))
        << "nothing vouches for a package without a digest";
    EXPECT_EQ(plain.OfCode(DL_CODE_MESSAGE).at(0).message, L"winhttp获取url-md5失败");
    EXPECT_EQ(plain.OfCode(DL_CODE_FAIL).at(0).message, L"WinHttp");
    EXPECT_FALSE(Exists(dir / L"plain.exe"));
}
