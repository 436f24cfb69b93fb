#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "download/CurlClient.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"

using TestSupport::HttpFault;
using TestSupport::HttpTestServer;
using TestSupport::WideUrl;

namespace {

struct ProgressLog {
    std::mutex mutex;
    std::vector<double> percents;
    static void Collect(void* owner, double, double, double percent)
    {
        auto* log = static_cast<ProgressLog*>(owner);
        std::lock_guard<std::mutex> lock(log->mutex);
        log->percents.push_back(percent);
    }
};

} // namespace

TEST(CurlClient, RefusesBelowOneMebibyteAndDownloadsFromIt)
{
    HttpTestServer server;
    ASSERT_TRUE(server.Running());
    server.AddBody("small.exe", TestSupport::MakeBody(1048575));
    auto exact = TestSupport::MakeBody(1048576, 2);
    server.AddBody("exact.exe", exact);
    TestSupport::TempDir dir;

    CurlClient small(WideUrl(server.FileUrl("small.exe")), dir / L"small.exe", nullptr, nullptr);
    EXPECT_EQ(small.Start(), -998);
    EXPECT_TRUE(server.Requests("GET").empty()) << "no transfer without a usable length";

    CurlClient client(WideUrl(server.FileUrl("exact.exe")), dir / L"exact.exe", nullptr, nullptr);
    ASSERT_EQ(client.Start(), 0);
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"exact.exe"), *exact);
    EXPECT_EQ(GetFileAttributesW((dir / L"exact.exe.part").c_str()), INVALID_FILE_ATTRIBUTES);

    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].range, "") << "an absent part file sets no resume";
    EXPECT_EQ(gets[0].acceptEncoding, "identity") << "the body is stored undecoded";
}

TEST(CurlClient, ResumesAPartFileAndCountsItsBytes)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(2 * 1048576);
    server.AddBody("pkg.exe", body);
    HttpFault slow;
    slow.method = "GET";
    slow.bytesPerSecond = 400 * 1024;
    server.SetStandingFault("pkg.exe", slow);
    TestSupport::TempDir dir;
    const std::size_t present = 1048576 + 4096;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe.part", body->substr(0, present)));

    ProgressLog progress;
    CurlClient client(WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe", &progress, &ProgressLog::Collect);
    ASSERT_EQ(client.Start(), 0);
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
    EXPECT_EQ(client.ResumeOffset(), static_cast<std::int64_t>(present));

    const auto gets = server.Requests("GET");
    ASSERT_EQ(gets.size(), 1u);
    EXPECT_EQ(gets[0].range, "bytes=" + std::to_string(present) + "-");
    std::lock_guard<std::mutex> lock(progress.mutex);
    ASSERT_FALSE(progress.percents.empty());
    EXPECT_GT(progress.percents.front(), 50.0) << "the resumed bytes count as done";
    for (const double percent : progress.percents) {
        EXPECT_LE(percent, 100.0);
    }
}

TEST(CurlClient, EmptyPartFileSetsNoResumeAndIgnoredRangeStartsOver)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(1048576 + 10);
    server.AddBody("pkg.exe", body);
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe.part", ""));

    CurlClient client(WideUrl(server.FileUrl("pkg.exe")), dir / L"pkg.exe", nullptr, nullptr);
    ASSERT_EQ(client.Start(), 0);
    ASSERT_EQ(server.Requests("GET").size(), 1u);
    EXPECT_EQ(server.Requests("GET")[0].range, "");

    // A server that answers a resume with the whole body must not get it appended.
    HttpFault noRanges;
    noRanges.method = "GET";
    noRanges.ignoreRange = true;
    server.SetStandingFault("pkg.exe", noRanges);
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"pkg.exe.part", body->substr(0, 5000)));
    EXPECT_EQ(client.Start(), 33);
    EXPECT_EQ(client.Start(), 0);
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
}

TEST(CurlClient, HeadWith404GivesNoLengthButTheStrProbeGivesTheAnnouncedOne)
{
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1500000));
    HttpFault notFound;
    notFound.method = "HEAD";
    notFound.status = 404;
    server.SetStandingFault("pkg.exe", notFound);
    TestSupport::TempDir dir;

    const std::string url = server.FileUrl("pkg.exe");
    CurlClient client(WideUrl(url), dir / L"pkg.exe", nullptr, nullptr);
    Download::UniqueCurl head = client.Head(url);
    ASSERT_TRUE(head);
    EXPECT_EQ(client.GetDownloadFileLength(head.get()), -1.0);
    EXPECT_EQ(client.GetDownloadFileLength_Str(url), 1500000.0);
    EXPECT_EQ(client.GetRealUrl_Str(url), url);
}

TEST(CurlClient, SecondStartAfterAFailureMakesNoNewHeadRequest)
{
    HttpTestServer server;
    auto body = TestSupport::MakeBody(1048576 * 2);
    server.AddBody("pkg.exe", body);
    HttpFault broken;
    broken.method = "GET";
    broken.status = 500;
    server.QueueFault("pkg.exe", broken);
    TestSupport::TempDir dir;

    CurlClient client(WideUrl(server.RedirectUrl("pkg.exe", 2)), dir / L"pkg.exe", nullptr, nullptr);
    EXPECT_EQ(client.Start(), 22);
    const std::size_t heads = server.Requests("HEAD").size();
    EXPECT_GT(heads, 0u);
    EXPECT_EQ(client.RealUrl(), server.FileUrl("pkg.exe")) << "the effective URL after the redirects";

    EXPECT_EQ(client.Start(), 0);
    EXPECT_EQ(server.Requests("HEAD").size(), heads);
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / L"pkg.exe"), *body);
}
