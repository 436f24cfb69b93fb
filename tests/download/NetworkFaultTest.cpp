#include <gtest/gtest.h>

#include <curl/curl.h>
#include <winhttp.h>

#include <cstdio>
#include <ostream>
#include <set>

#include "EventRecorder.h"
#include "download/Downloader.h"
#include "download/LocalFiles.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TinyProxy.h"
#include "support/WaitUntil.h"
#include "support/http_server/FaultServer.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using DownloadTests::EventRecorder;
using TestSupport::FaultServer;
using TestSupport::TransferFault;
using TestSupport::WaitUntil;
using TestSupport::WideUrl;

// What networks do to a transfer, met by every downloader: 1 single stream, 3 segmented,
// 2 WinHTTP.
namespace {

constexpr int kTypes[] = { 1, 3, 2 };
constexpr long kShortStall = 1; // the stall rule, shortened, in seconds
constexpr ULONGLONG kStopLimitMs = 2000;

constexpr long kShortHeaderBound = 5; // the headers' bound, shortened with the stall rule

std::vector<std::wstring> WideUrls(const std::vector<std::string>& urls)
{
    std::vector<std::wstring> wide;
    for (const auto& url : urls) {
        wide.push_back(WideUrl(url));
    }
    return wide;
}

struct Downloading {
    EventRecorder events;
    std::unique_ptr<CDownloader> downloader;

    // stallSeconds 0 keeps the rule as shipped; with several URLs, the later ones are mirrors.
    Downloading(int type, const std::vector<std::string>& urls, const std::wstring& path,
        long stallSeconds = kShortStall, const PackageRules& rules = {})
        : downloader(CreateDownloader(type, events.Callback(), WideUrls(urls), path, {}, rules))
    {
        if (stallSeconds > 0) {
            downloader->SetStallSeconds(stallSeconds);
            downloader->SetHeaderSeconds(kShortHeaderBound);
        }
        downloader->SetRetryPause(20);
        DownloadTests::RestartOnRetry(events, *downloader);
    }
    Downloading(int type, const std::string& url, const std::wstring& path, long stallSeconds = kShortStall,
        const PackageRules& rules = {})
        : Downloading(type, std::vector<std::string> { url }, path, stallSeconds, rules)
    {
    }

    int LastCode() const
    {
        const auto codes = events.Codes();
        return codes.empty() ? 0 : codes.back();
    }

    // How long a stop took to end every thread of the downloader.
    ULONGLONG TimedStop()
    {
        const ULONGLONG before = GetTickCount64();
        EXPECT_TRUE(downloader->Stop());
        const ULONGLONG took = GetTickCount64() - before;
        std::printf("stop took %llu ms\n", static_cast<unsigned long long>(took));
        return took;
    }
};

const char* Name(TransferFault fault)
{
    switch (fault) {
    case TransferFault::Silent:
        return "silent";
    case TransferFault::Reset:
        return "reset";
    case TransferFault::Short:
        return "short";
    default:
        return "none";
    }
}

std::vector<TestSupport::HttpRequestRecord> Gets(const FaultServer& server)
{
    std::vector<TestSupport::HttpRequestRecord> gets;
    for (const auto& request : server.Requests()) {
        if (request.method == "GET") {
            gets.push_back(request);
        }
    }
    return gets;
}

// The first byte a GET asked for: 0 without a Range.
std::int64_t RangeStart(const TestSupport::HttpRequestRecord& request)
{
    return request.range.rfind("bytes=", 0) == 0 ? std::stoll(request.range.substr(6)) : 0;
}

} // namespace

TEST(NetworkFaults, EveryDownloaderResumesAfterEveryFaultOfItsFirstGet)
{
    const auto body = TestSupport::MakeBody(3 * 1048576 + 5);
    constexpr std::int64_t kBrokenAfter = 1048576;
    for (const TransferFault fault : { TransferFault::Silent, TransferFault::Reset, TransferFault::Short }) {
        for (const int type : kTypes) {
            SCOPED_TRACE(std::string(Name(fault)) + ", type " + std::to_string(type));
            FaultServer server("pkg.exe", body);
            ASSERT_TRUE(server.Running());
            server.SetFault(fault, kBrokenAfter, 1);
            TestSupport::TempDir dir;
            Downloading run(type, server.FileUrl(), dir / L"pkg.exe");
            run.downloader->Start();
            ASSERT_TRUE(run.events.WaitForEnd(20000));
            EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
            EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);

            std::vector<std::int64_t> starts;
            for (const auto& request : Gets(server)) {
                starts.push_back(RangeStart(request));
            }
            ASSERT_GE(starts.size(), 2u);
            EXPECT_EQ(starts.front(), 0);
            EXPECT_GT(starts.back(), 0) << "the retry resumed instead of starting over";
            EXPECT_LE(starts.back(), kBrokenAfter);
        }
    }
}

TEST(NetworkFaults, AServerThatAlwaysStallsEndsInTheFailureEventWithinTheRulesBound)
{
    const auto body = TestSupport::MakeBody(1048576 + 5);
    struct Case {
        int type;
        int stalls; // the budget's attempts, over both runs of the segmented downloader
        double value; // the stall's result code
    };
    for (const Case c : { Case { 1, 6, CURLE_OPERATION_TIMEDOUT }, Case { 3, 14, CURLE_OPERATION_TIMEDOUT },
             Case { 2, 6, ERROR_WINHTTP_TIMEOUT } }) {
        SCOPED_TRACE(c.type);
        FaultServer server("pkg.exe", body);
        server.SetFault(TransferFault::Silent, 0, -1);
        TestSupport::TempDir dir;
        Downloading run(c.type, server.FileUrl(), dir / L"pkg.exe");
        const ULONGLONG began = GetTickCount64();
        run.downloader->Start();
        // A stall ends within the rule's time plus one check; the rest is slack for Wine.
        const ULONGLONG bound = c.stalls * (kShortStall + 1) * 1000 + 3000;
        ASSERT_TRUE(run.events.WaitForEnd(static_cast<DWORD>(bound)));
        EXPECT_EQ(run.LastCode(), DL_CODE_FAIL);
        EXPECT_EQ(run.events.OfCode(DL_CODE_FAIL).at(0).value, c.value);
        const ULONGLONG took = GetTickCount64() - began;
        EXPECT_GE(took, static_cast<ULONGLONG>(c.stalls * kShortStall * 1000));
        EXPECT_EQ(Gets(server).size(), static_cast<std::size_t>(c.stalls));
    }
}

TEST(NetworkFaults, AStopDuringAStallEndsTheRunWithinTwoSeconds)
{
    const auto body = TestSupport::MakeBody(3 * 1048576);
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        FaultServer server("pkg.exe", body);
        server.SetFault(TransferFault::Silent, 512 * 1024, -1);
        TestSupport::TempDir dir;
        Downloading run(type, server.FileUrl(), dir / L"pkg.exe", 0);
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForCode(DL_CODE_PROGRESS, 10000)) << "the first bytes arrived, then silence";
        EXPECT_LT(run.TimedStop(), kStopLimitMs);
        EXPECT_TRUE(run.events.OfCode(DL_CODE_FAIL).empty());
        EXPECT_TRUE(run.events.OfCode(DL_CODE_SUCCESS).empty());
    }
}

TEST(NetworkFaults, AStopThatLandsWhileARetryRestartsTheDownloaderIsFinal)
{
    TestSupport::HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576 + 9));
    TestSupport::HttpFault corrupt;
    corrupt.method = "GET";
    corrupt.corrupt = true;
    server.SetStandingFault("pkg.exe", corrupt); // every run ends in a digest mismatch
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        TestSupport::TempDir dir;
        Downloading run(type, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
        // The pipeline's retry handler, with the stop arriving between its check and its
        // restart.
        CDownloader& downloader = *run.downloader;
        run.events.SetReaction([&downloader](const DownloadTests::Event& event) {
            if (event.code == DL_CODE_RETRY) {
                downloader.Stop();
                downloader.Start();
            }
        });
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForCode(DL_CODE_RETRY, 20000));
        EXPECT_LT(run.TimedStop(), kStopLimitMs);
        EXPECT_EQ(run.events.OfCode(DL_CODE_START).size(), 1u) << "no second run began";
    }
}

TEST(NetworkFaults, AStopDuringASlowProxyScriptLookUpEndsTheRunWithinTwoSeconds)
{
    for (const wchar_t* name : { L"http_proxy", L"https_proxy", L"HTTP_PROXY", L"all_proxy", L"no_proxy" }) {
        ::SetEnvironmentVariableW(name, nullptr);
    }
    TestSupport::HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576 + 3));
    server.AddBody(
        "slow.pac", std::make_shared<const std::string>("function FindProxyForURL(u, h) { return \"DIRECT\"; }"));
    TestSupport::HttpFault late;
    late.headerDelayMs = 30000;
    server.SetStandingFault("slow.pac", late);
    TestSupport::SystemProxyConfig script({ L"", L"", WideUrl(server.FileUrl("slow.pac")), false });
    ASSERT_TRUE(script.Written());

    TestSupport::LogCapture log;
    const auto asking = [&log] {
        return log.Matching(L"asking automatic proxy configuration").size();
    };
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        const std::size_t asked = asking();
        TestSupport::TempDir dir;
        Downloading run(type, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForCode(DL_CODE_START, 5000));
        ASSERT_TRUE(WaitUntil([&] { return asking() > asked; }, 5000));
        EXPECT_LT(run.TimedStop(), kStopLimitMs);
        EXPECT_EQ(run.events.Codes(), DownloadTests::Codes({ DL_CODE_START }));
    }
    EXPECT_TRUE(WaitUntil([&] { return !server.Requests("GET").empty(); }, 5000)) << "the script was asked for";
    for (const auto& request : server.Requests()) {
        EXPECT_EQ(request.path.find("pkg.exe"), std::string::npos) << "nothing went out before the decision";
    }
}

TEST(NetworkFaults, HeadersLaterThanTheStallRuleButWithinTheirBoundAreWaitedFor)
{
    TestSupport::HttpTestServer server;
    const auto body = TestSupport::MakeBody(1048576 + 11);
    server.AddBody("pkg.exe", body);
    TestSupport::HttpFault late; // probes and GETs alike: a proxy that reads the package first
    late.headerDelayMs = (kShortStall + 2) * 1000;
    server.SetStandingFault("pkg.exe", late);
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        TestSupport::TempDir dir;
        const std::size_t before = server.Requests().size();
        Downloading run(type, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(30000));
        EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
        EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
        std::set<std::string> asked;
        const auto requests = server.Requests();
        for (std::size_t i = before; i < requests.size(); ++i) {
            EXPECT_TRUE(asked.insert(requests[i].method + requests[i].range).second) << "asked again: no stall";
        }
    }
}

// 503 and 429 with Retry-After: 1 for the first two requests of the package (probe or GET),
// then the package; a reset of the first probe is retried like a reset GET.
TEST(NetworkFaults, BusyServersAreAskedAgainWhenTheySayAndAResetProbeAgainAtOnce)
{
    const auto body = TestSupport::MakeBody(1048576 + 13);
    for (const int status : { 503, 429 }) {
        for (const int type : kTypes) {
            SCOPED_TRACE(std::to_string(status) + ", type " + std::to_string(type));
            TestSupport::LogCapture log;
            TestSupport::HttpTestServer server;
            server.AddBody("pkg.exe", body);
            TestSupport::HttpFault busy;
            busy.status = status;
            busy.retryAfter = "1";
            server.QueueFaults("pkg.exe", busy, 2);
            TestSupport::TempDir dir;
            Downloading run(type, server.FileUrl("pkg.exe"), dir / L"pkg.exe");
            const ULONGLONG began = GetTickCount64();
            run.downloader->Start();
            ASSERT_TRUE(run.events.WaitForEnd(20000));
            const ULONGLONG took = GetTickCount64() - began;
            std::printf("%d, type %d: done in %llu ms\n", status, type, static_cast<unsigned long long>(took));
            EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
            EXPECT_GE(took, 2000u) << "Retry-After was waited for, twice";
            EXPECT_EQ(log.Matching(L"asking again in 1000 ms").size(), 2u);
        }
    }
    for (const int type : { 1, 3 }) { // WinHTTP sends no probe
        SCOPED_TRACE(type);
        FaultServer server("pkg.exe", body);
        server.ResetHeads(1);
        TestSupport::TempDir dir;
        Downloading run(type, server.FileUrl(), dir / L"pkg.exe");
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(20000));
        EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
        EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
    }
}

// DownloadUrl fails for good in each way; the mirror, carrying the same MD5, delivers.
struct FirstAddressFault {
    const char* name;
    int status; // the first address's standing answer; 0 with corrupt false: nothing listens
    bool corrupt;
};

void PrintTo(const FirstAddressFault& fault, std::ostream* out)
{
    *out << fault.name;
}

class MirrorAfter : public ::testing::TestWithParam<FirstAddressFault> { };

TEST_P(MirrorAfter, TheFirstAddressFailingForGoodEveryDownloaderTakesTheMirror)
{
    const FirstAddressFault c = GetParam();
    const auto body = TestSupport::MakeBody(1048576 + 17);
    TestSupport::HttpTestServer mirror;
    mirror.AddBody("pkg.exe", body);
    const std::string mirrorUrl = mirror.FileUrl("pkg.exe");
    const std::wstring mirrorHost = L"127.0.0.1:" + std::to_wstring(mirror.Port());
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        TestSupport::HttpTestServer first;
        first.AddBody("pkg.exe", body);
        TestSupport::HttpFault fault;
        fault.status = c.status;
        fault.announcedLength = c.status != 0 ? 0 : -1; // an error page, not a package's worth of bytes
        fault.corrupt = c.corrupt;
        first.SetStandingFault("pkg.exe", fault);
        std::string firstUrl = first.FileUrl("pkg.exe");
        if (c.status == 0 && !c.corrupt) {
            firstUrl = "http://127.0.0.1:1" + firstUrl.substr(firstUrl.find('/', 7));
        }
        TestSupport::TempDir dir;
        TestSupport::LogCapture log;
        Downloading run(type, std::vector<std::string> { firstUrl, mirrorUrl }, dir / L"pkg.exe");
        const ULONGLONG began = GetTickCount64();
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(30000));
        std::printf(
            "%s, type %d: done in %llu ms\n", c.name, type, static_cast<unsigned long long>(GetTickCount64() - began));
        EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
        EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
        EXPECT_EQ(log.Matching(L"; trying " + mirrorHost).size(), 1u);
        EXPECT_EQ(run.events.OfCode(DL_CODE_START).size(), 1u) << "one download";
        double last = 0.0;
        for (const auto& progress : run.events.OfCode(DL_CODE_PROGRESS)) {
            EXPECT_GE(progress.value, last) << "progress never moves back";
            last = progress.value;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(NetworkFaults, MirrorAfter,
    ::testing::Values(FirstAddressFault { "ClosedPort", 0, false }, FirstAddressFault { "NotFound", 404, false },
        FirstAddressFault { "ServerErrorForEver", 500, false }, FirstAddressFault { "BytesFailingTheMd5", 0, true }),
    [](const ::testing::TestParamInfo<FirstAddressFault>& info) { return std::string(info.param.name); });

TEST(NetworkFaults, PastItsBoundATransferStopsAsAFailureNotARetry)
{
    const auto body = TestSupport::MakeBody(2 * 1048576 + 5);
    const auto size = static_cast<std::int64_t>(body->size());
    struct Case {
        const char* name;
        bool endless; // HEAD announces the body; GET sends it, then more for ever, with no length
        PackageRules rules;
        const wchar_t* logLine;
    };
    const Case cases[] = {
        { "a body past its length", true, { false, size + 1048576, 0 }, L"download stopped: the body goes past" },
        { "over the maximum package size", false, { false, size - 1, 0 }, L"download refused: " },
        { "no room above the reserve", false, { false, kDefaultMaxPackageBytes, INT64_MAX / 2 },
            L"download refused: " },
    };
    for (const Case& c : cases) {
        for (const int type : kTypes) {
            SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type));
            TestSupport::HttpTestServer server;
            server.AddBody("pkg.exe", body);
            TestSupport::HttpFault fault;
            fault.method = "GET";
            fault.endless = c.endless;
            server.SetStandingFault("pkg.exe", fault);
            TestSupport::TempDir dir;
            TestSupport::LogCapture log;
            Downloading run(type, server.FileUrl("pkg.exe"), dir / L"pkg.exe", kShortStall, c.rules);
            run.downloader->Start();
            ASSERT_TRUE(run.events.WaitForEnd(20000)) << "the transfer stopped";
            EXPECT_TRUE(run.events.OfCode(DL_CODE_RETRY).empty());
            if (c.endless && type == 3) {
                // Each range is held to its own length: the bytes past it are never written.
                EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
                EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
                continue;
            }
            EXPECT_EQ(run.LastCode(), DL_CODE_FAIL);
            EXPECT_LE(server.Requests("GET").size(), 1u) << "not asked again";
            EXPECT_EQ(log.Matching(c.logLine).size(), 1u);
            const std::int64_t part = LocalFileSize(dir / L"pkg.exe.part");
            EXPECT_LE(part, size) << "nothing past the bound was written";
        }
    }
}

TEST(NetworkFaults, WhenEveryAddressFailsTheDownloadFailsOnce)
{
    for (const int type : kTypes) {
        SCOPED_TRACE(type);
        TestSupport::TempDir dir;
        const std::vector<std::string> urls { "http://127.0.0.1:1/m/pkg.exe", "http://127.0.0.1:2/m/pkg.exe" };
        Downloading run(type, urls, dir / L"pkg.exe");
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(30000));
        EXPECT_EQ(run.LastCode(), DL_CODE_FAIL);
        EXPECT_EQ(run.events.OfCode(DL_CODE_FAIL).size(), 1u) << "one failure, once every address failed";
    }
}

// Mirrors beside an address without an MD5 of its own (the maker's redirect address): the
// address it leads to must carry the mirrors' MD5, or its package is not fetched and the
// mirrors deliver; a target that carries it is taken as any address.
TEST(NetworkFaults, AnAddressLeadingToAnotherMd5ThanTheMirrorsIsGivenUpForThem)
{
    const auto body = TestSupport::MakeBody(1048576 + 17);
    const auto newer = TestSupport::MakeBody(1048576 + 17, 2);
    TestSupport::HttpTestServer server;
    server.AddBody("pkg.exe", body);
    server.AddBody("new.exe", newer);
    TestSupport::HttpTestServer mirror;
    mirror.AddBody("pkg.exe", body);
    PackageRules rules;
    rules.acceptWithoutDigest = true; // a pinned signer would not stand in for the mirrors' MD5
    rules.requiredDigest = mirror.Md5Of("pkg.exe");
    const struct {
        const char* name;
        std::string first;
        const wchar_t* refused; // the log's reason, or nullptr: the first address delivers
    } cases[] = {
        { "to the mirrors' MD5", server.RedirectUrl("pkg.exe", 1), nullptr },
        { "to another MD5", server.RedirectUrl("new.exe", 1), L"package refused: its final address carries the MD5 " },
        { "to no MD5", server.RedirectWithoutDigestUrl("pkg.exe"),
            L"package refused: its final address carries no MD5, the mirrors " },
    };
    for (const auto& c : cases) {
        for (const int type : kTypes) {
            SCOPED_TRACE(std::string(c.name) + ", type " + std::to_string(type));
            TestSupport::TempDir dir;
            TestSupport::LogCapture log;
            const std::size_t requestsBefore = server.Requests("GET").size();
            Downloading run(type, std::vector<std::string> { c.first, mirror.FileUrl("pkg.exe") }, dir / L"pkg.exe",
                kShortStall, rules);
            run.downloader->Start();
            ASSERT_TRUE(run.events.WaitForEnd(30000));
            EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
            EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
            EXPECT_EQ(
                log.Matching(L"; trying 127.0.0.1:" + std::to_wstring(mirror.Port())).size(), c.refused ? 1u : 0u);
            EXPECT_EQ(mirror.Requests("GET").empty(), c.refused == nullptr);
            if (c.refused) {
                EXPECT_EQ(log.Matching(c.refused).size(), 1u);
                EXPECT_TRUE(run.events.OfCode(DL_CODE_RETRY).empty()) << "not asked again";
            }
            if (c.refused && type != 2) {
                // The libcurl downloaders know the final address from their HEAD: no GET goes
                // there (WinHTTP's GET is given up at its headers, its body unread).
                const auto gets = server.Requests("GET");
                for (std::size_t i = requestsBefore; i < gets.size(); ++i) {
                    EXPECT_EQ(gets[i].path.find("/files/"), std::string::npos) << gets[i].path;
                }
            }
        }
    }
}

// A rate limit holds each downloader, and the two ranges of type 3 together: a download takes
// at least nearly its bytes over the rate (load only ever makes it slower, so no upper bound).
TEST(NetworkFaults, ARateLimitHoldsEveryDownloaderTheTwoRangesTogether)
{
    const struct {
        int type;
        std::size_t bytes;
        std::int64_t rate;
    } cases[] = {
        { 1, 1048576 + 17, 200 * 1024 }, { 2, 1048576 + 17, 200 * 1024 },
        { 3, 20 * 1048576 + 17, 4 * 1048576 }, // two ranges: each alone at the rate would take half
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const auto body = TestSupport::MakeBody(c.bytes);
        TestSupport::HttpTestServer server;
        server.AddBody("pkg.exe", body);
        TestSupport::TempDir dir;
        PackageRules rules;
        rules.maxBytesPerSecond = c.rate;
        // The stall rule as shipped: a pause of the limit is no stall.
        Downloading run(c.type, server.FileUrl("pkg.exe"), dir / L"pkg.exe", 0, rules);
        const ULONGLONG began = GetTickCount64();
        run.downloader->Start();
        ASSERT_TRUE(run.events.WaitForEnd(60000));
        const ULONGLONG took = GetTickCount64() - began;
        const double least = 0.7 * static_cast<double>(c.bytes) * 1000.0 / static_cast<double>(c.rate);
        std::printf("type %d: %zu bytes at %lld B/s in %llu ms (at least %.0f)\n", c.type, c.bytes,
            static_cast<long long>(c.rate), static_cast<unsigned long long>(took), least);
        EXPECT_EQ(run.LastCode(), DL_CODE_SUCCESS);
        EXPECT_TRUE(TestSupport::ReadFileBytes(dir / L"pkg.exe") == *body);
        EXPECT_GE(static_cast<double>(took), least);
        if (c.type == 3) {
            EXPECT_EQ(server.Requests("GET").size(), 2u) << "two ranges";
        }
    }
}
