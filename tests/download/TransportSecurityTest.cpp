#include <gtest/gtest.h>

#include "EventRecorder.h"
#include "download/CurlClient.h"
#include "download/CurlHandles.h"
#include "download/MTCurlDownloader.h"
#include "download/WinHttpDownloader.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TlsRedirectServer.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using DownloadTests::EventRecorder;
using TestSupport::HttpTestServer;
using TestSupport::WideUrl;

// Wine's Schannel accepts any certificate, so rejection itself cannot be shown here: these
// check that verification is asked for and that a failed handshake never passes for a package.
TEST(TransportSecurity, CertificateChecksAreAcceptedByTheTlsBackend)
{
    UniqueCurl handle = NewCurlHandle();
    ASSERT_TRUE(handle);
    EXPECT_EQ(RequireVerifiedTls(handle.get()), CURLE_OK);
}

TEST(TransportSecurity, AFailedHandshakeEndsEveryDownloaderInFailure)
{
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576));
    std::string url = server.FileUrl("pkg.exe");
    url.replace(0, 4, "https"); // TLS against a plain HTTP port
    TestSupport::TempDir dir;

    // One attempt of the single-stream client stands for its downloader's six.
    CurlClient client(WideUrl(url), dir / L"pkg1.exe", nullptr, nullptr);
    EXPECT_NE(client.Start(), 0);
    EXPECT_EQ(GetFileAttributesW((dir / L"pkg1.exe").c_str()), INVALID_FILE_ATTRIBUTES);

    for (const int type : { 2, 3 }) {
        SCOPED_TRACE(type);
        EventRecorder events;
        std::unique_ptr<CDownloader> downloader;
        const std::wstring path = dir / (L"pkg" + std::to_wstring(type) + L".exe");
        if (type == 2) {
            downloader = std::make_unique<WinHttpDownloader>(events.Callback(), WideUrl(url), path);
        } else {
            downloader = std::make_unique<CMTCurlDownloader>(events.Callback(), WideUrl(url), path);
        }
        downloader->SetRetryPause(20);
        downloader->Start();
        ASSERT_TRUE(events.WaitForEnd(30000));
        EXPECT_TRUE(events.OfCode(DL_CODE_SUCCESS).empty());
        EXPECT_FALSE(events.OfCode(DL_CODE_FAIL).empty());
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(server.Requests("GET").empty());
    }
}

TEST(TransportSecurity, AnHttpsUrlThatRedirectsToHttpFailsOnEveryDownloader)
{
    TestSupport::LogCapture log;
    HttpTestServer server;
    server.AddBody("pkg.exe", TestSupport::MakeBody(1048576 + 1));
    TestSupport::TlsRedirectServer tls(server.FileUrl("pkg.exe"));
    ASSERT_TRUE(tls.Running());
    TestSupport::TempDir dir;

    const std::wstring refusal = L"redirect refused, from https to http: https://localhost -> http://127.0.0.1";
    for (const int type : { 1, 3, 2 }) {
        SCOPED_TRACE(type);
        const std::size_t refused = log.Matching(refusal).size();
        EventRecorder events;
        const std::wstring path = dir / (L"pkg" + std::to_wstring(type) + L".exe");
        auto downloader = CreateDownloader(type, events.Callback(), WideUrl(tls.Url("/download/pkg.exe")), path);
        downloader->SetRetryPause(20);
        downloader->Start();
        ASSERT_TRUE(events.WaitForEnd(30000));
        EXPECT_TRUE(events.OfCode(DL_CODE_SUCCESS).empty());
        EXPECT_FALSE(events.OfCode(DL_CODE_FAIL).empty());
        EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_GT(log.Matching(refusal).size(), refused) << "the redirect came over TLS and was refused";
    }
    EXPECT_TRUE(server.Requests().empty()) << "the plain hop was never asked for";
}
