#include <gtest/gtest.h>

#include "ServerHarness.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"

using namespace DemoTest;

namespace {

constexpr DWORD kStartLimitMs = 15000;
constexpr char kRedirectPath[] = "/redirect/ver1/quorvel/download_silent/1.0/installer/123456";

// A sentence whose MD5 is well known, so the served path is checked against a fixed value.
constexpr char kFox[] = "The quick brown fox jumps over the lazy dog";
constexpr char kFoxMd5[] = "9e107d9d372bb6826bd81d3542a419d6";

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
    }
    return bytes;
}

class PackageServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_packages / L"VellumoraSetup.exe", kFox));
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_packages / L"Large Package.exe", m_large));
        m_server = std::make_unique<ServerProcess>(
            L"--lifetime=60 --package=" + TestSupport::QuoteArgument(m_packages / L"VellumoraSetup.exe"));
        m_port = m_server->WaitForPort(kStartLimitMs);
        ASSERT_GT(m_port, 0) << m_server->Output();
    }

    HttpReply Get(const std::string& path, const std::string& range = "") const
    {
        return HttpRequest(m_port, "GET", path, range);
    }

    TestSupport::TempDir m_packages { L"demo_packages" };
    const std::string m_large = Pattern(300 * 1024);
    const std::string m_path = std::string("/packages/") + kFoxMd5 + "/VellumoraSetup.exe";
    std::unique_ptr<ServerProcess> m_server;
    int m_port = 0;
};

} // namespace

TEST_F(PackageServerTest, HeadAnnouncesTheLengthAndGetSendsThePackage)
{
    const auto head = HttpRequest(m_port, "HEAD", m_path);
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header("Content-Length"), std::to_string(sizeof(kFox) - 1));
    EXPECT_EQ(head.Header("Accept-Ranges"), "bytes");
    EXPECT_TRUE(head.body.empty());

    const auto get = Get(m_path);
    EXPECT_EQ(get.status, 200);
    EXPECT_EQ(get.body, kFox);
}

TEST_F(PackageServerTest, RangesAnswerWith206AndTheirSlice)
{
    const std::string fox = kFox;
    const std::string total = "/" + std::to_string(fox.size());
    struct Case {
        const char* range;
        std::size_t offset;
        std::size_t length;
    };
    const Case cases[] = {
        { "bytes=4-8", 4, 5 }, // "quick"
        { "bytes=40-", 40, 3 }, { "bytes=-3", 40, 3 },
        { "bytes=0-99999", 0, fox.size() }, // the end is clamped to the package
    };
    for (const auto& c : cases) {
        const auto reply = Get(m_path, c.range);
        EXPECT_EQ(reply.status, 206) << c.range;
        EXPECT_EQ(reply.body, fox.substr(c.offset, c.length)) << c.range;
        EXPECT_EQ(reply.Header("Content-Range"),
            "bytes " + std::to_string(c.offset) + "-" + std::to_string(c.offset + c.length - 1) + total)
            << c.range;
        EXPECT_EQ(reply.Header("Content-Length"), std::to_string(c.length)) << c.range;
    }
    const auto head = HttpRequest(m_port, "HEAD", m_path, "bytes=10-19");
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.Header("Content-Length"), "10");
}

TEST_F(PackageServerTest, ARangePastTheEndIs416)
{
    const auto reply = Get(m_path, "bytes=" + std::to_string(sizeof(kFox) - 1) + "-");
    EXPECT_EQ(reply.status, 416);
    EXPECT_EQ(reply.Header("Content-Range"), "bytes */" + std::to_string(sizeof(kFox) - 1));
}

TEST_F(PackageServerTest, AnotherDigestOrNameIsNotFound)
{
    EXPECT_EQ(Get("/packages/00000000000000000000000000000000/VellumoraSetup.exe").status, 404);
    EXPECT_EQ(Get(std::string("/packages/") + kFoxMd5 + "/Other.exe").status, 404);
}

TEST_F(PackageServerTest, TheDownloadAddressRedirectsToTheDigestPath)
{
    const std::string expected = "http://127.0.0.1:" + std::to_string(m_port) + m_path;
    const auto get = Get(kRedirectPath);
    EXPECT_EQ(get.status, 302);
    EXPECT_EQ(get.Header("Location"), expected);
    const auto head = HttpRequest(m_port, "HEAD", kRedirectPath);
    EXPECT_EQ(head.status, 302);
    EXPECT_EQ(head.Header("Location"), expected);
    EXPECT_EQ(Get("/redirect/ver1/quorvel/download_silent_xp/1.0/installer/123456").Header("Location"), expected);
}

TEST_F(PackageServerTest, TermsAndHelpPagesAreHtml)
{
    for (const char* page :
        { "/redirect/ver1/quorvel/terms/1.0/installer/123456", "/redirect/ver1/quorvel/help/1.0/installer/123456" }) {
        const auto reply = Get(page);
        EXPECT_EQ(reply.status, 200) << page;
        EXPECT_EQ(reply.Header("Content-Type").compare(0, 9, "text/html"), 0) << page;
        EXPECT_NE(reply.body.find("<html>"), std::string::npos) << page;
    }
}

TEST_F(PackageServerTest, ServeSwitchesToAnotherFileOfTheFolder)
{
    const auto switched = Get("/admin/serve?file=Large%20Package.exe");
    ASSERT_EQ(switched.status, 200) << switched.body;
    const std::string location = Get(kRedirectPath).Header("Location");
    EXPECT_NE(location.find("/Large%20Package.exe"), std::string::npos) << location;
    EXPECT_EQ(location.find(kFoxMd5), std::string::npos) << "the digest follows the package";
    EXPECT_EQ(switched.body, location + "\n");

    const std::string path = location.substr(location.find("/packages/"));
    const auto whole = Get(path);
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == m_large) << "sizes " << whole.body.size() << " and " << m_large.size();
    const auto tail = Get(path, "bytes=100000-");
    EXPECT_EQ(tail.status, 206);
    EXPECT_TRUE(tail.body == m_large.substr(100000));
    EXPECT_EQ(Get(m_path).status, 404) << "the old package is no longer served";

    EXPECT_EQ(Get("/admin/serve?file=..%5Cport.txt").status, 404);
    EXPECT_EQ(Get("/admin/serve?file=missing.exe").status, 404);
    EXPECT_EQ(Get(path).status, 200) << "a refused switch keeps the package";
}

TEST_F(PackageServerTest, StopEndsItAndEveryRequestWasLogged)
{
    EXPECT_EQ(Get(m_path, "bytes=4-8").status, 206);
    EXPECT_EQ(Get("/admin/stop").status, 200);
    DWORD exitCode = 1;
    ASSERT_TRUE(m_server->WaitForExit(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    const std::string output = m_server->Output();
    EXPECT_NE(output.find("GET " + m_path + " Range=bytes=4-8 -> 206"), std::string::npos) << output;
    EXPECT_NE(output.find("GET /admin/stop"), std::string::npos) << output;
    EXPECT_NE(output.find("stopped: stop requested"), std::string::npos) << output;
}

TEST(PackageServerLife, ItStopsByItselfWhenItsLifetimeIsOver)
{
    TestSupport::TempDir folder(L"demo_life");
    ASSERT_TRUE(TestSupport::WriteFileBytes(folder / L"p.exe", kFox));
    ServerProcess server(L"--lifetime=1 --package=" + TestSupport::QuoteArgument(folder / L"p.exe"));
    ASSERT_GT(server.WaitForPort(kStartLimitMs), 0) << server.Output();
    ASSERT_TRUE(server.WaitForExit(10000));
    EXPECT_NE(server.Output().find("stopped: lifetime over"), std::string::npos) << server.Output();
}

TEST(PackageServerLife, ItStopsWhenItsInputClosesIfAsked)
{
    TestSupport::TempDir folder(L"demo_life");
    ASSERT_TRUE(TestSupport::WriteFileBytes(folder / L"p.exe", kFox));
    ServerProcess server(
        L"--lifetime=60 --stop-on-stdin-close --package=" + TestSupport::QuoteArgument(folder / L"p.exe"));
    ASSERT_GT(server.WaitForPort(kStartLimitMs), 0) << server.Output();
    EXPECT_FALSE(server.WaitForExit(300)) << "input still open";
    server.CloseInput();
    ASSERT_TRUE(server.WaitForExit(10000));
    EXPECT_NE(server.Output().find("stopped: standard input closed"), std::string::npos) << server.Output();
}

TEST(PackageServerLife, BadOptionsOrAMissingPackageEndItAtOnce)
{
    const std::wstring program = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\vlm_package_server.exe");
    auto result = TestSupport::RunProcess(program + L" --port=70000 --package=x.exe", 10000);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 2u);
    result = TestSupport::RunProcess(program, 10000);
    EXPECT_EQ(result.exitCode, 2u);
    result = TestSupport::RunProcess(program + L" --package=C:\\no\\such\\package.exe", 10000);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.output.find("cannot read"), std::string::npos) << result.output;
}
