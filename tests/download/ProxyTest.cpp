#include <gtest/gtest.h>

#include <memory>

#include "EventRecorder.h"
#include "config/ProxySetting.h"
#include "download/CurlDownloader.h"
#include "download/MTCurlDownloader.h"
#include "download/WinHttpDownloader.h"
#include "download/WinHttpHandles.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "support/TinyProxy.h"
#include "support/http_server/HttpTestServer.h"

using namespace Download;
using Download::UniqueGlobalString;
using DownloadTests::EventRecorder;
using TestSupport::HttpTestServer;
using TestSupport::SystemProxyConfig;
using TestSupport::TinyProxy;
using TestSupport::WideUrl;

namespace {

constexpr DWORD kRunLimitMs = 30000;

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Every downloader kind the settings can pick: 1 (also 0, 4) single stream, 3 segmented,
// 2 WinHTTP.
std::unique_ptr<CDownloader> MakeDownloader(
    int type, EventRecorder& events, const std::string& url, const std::wstring& path, const std::wstring& proxyText)
{
    const Config::ProxySetting proxy = Config::ParseProxySetting(proxyText);
    if (type == 2) {
        auto winHttp = std::make_unique<WinHttpDownloader>(events.Callback(), WideUrl(url), path, proxy);
        winHttp->SetRetryPause(20);
        return winHttp;
    }
    if (type == 3) {
        auto segmented = std::make_unique<CMTCurlDownloader>(events.Callback(), WideUrl(url), path, proxy);
        segmented->SetRetryPause(20);
        return segmented;
    }
    auto single = std::make_unique<CCurlDownloader>(events.Callback(), WideUrl(url), path, proxy);
    single->SetRetryPause(20);
    return single;
}

class ProxyDownloads : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The Unix proxy variables leak into Wine's WinHTTP.
        for (const wchar_t* name : { L"http_proxy", L"https_proxy", L"HTTP_PROXY", L"all_proxy", L"no_proxy" }) {
            ::SetEnvironmentVariableW(name, nullptr);
        }
        ASSERT_TRUE(server.Running());
        for (const char* name : { "pkg1.exe", "pkg2.exe", "pkg3.exe" }) {
            server.AddBody(name, body);
        }
    }

    // Runs one download to its end; a 1005 restarts it as the pipeline would.
    int Download(int type, const std::string& url, const std::wstring& proxyText)
    {
        EventRecorder events;
        auto downloader = MakeDownloader(type, events, url, dir / (L"out" + std::to_wstring(++runs)), proxyText);
        DownloadTests::RestartOnRetry(events, *downloader);
        downloader->Start();
        const bool ended = events.WaitForEnd(kRunLimitMs);
        downloader->Stop();
        EXPECT_TRUE(ended) << "type " << type << " did not end";
        const auto codes = events.Codes();
        return codes.empty() ? 0 : codes.back();
    }

    // Requests the server saw for a path fragment, and how many of them came through a proxy.
    std::pair<std::size_t, std::size_t> ServerSaw(const std::string& fragment) const
    {
        std::size_t all = 0, proxied = 0;
        for (const auto& request : server.Requests()) {
            if (request.path.find(fragment) != std::string::npos) {
                ++all;
                proxied += request.via.empty() ? 0 : 1;
            }
        }
        return { all, proxied };
    }

    // Every downloader fetches its own copy; every request of each came through a proxy.
    void ExpectEveryDownloaderProxied()
    {
        for (const int type : { 1, 3, 2 }) {
            SCOPED_TRACE(type);
            const std::string name = "pkg" + std::to_string(type) + ".exe";
            EXPECT_EQ(Download(type, server.FileUrl(name), L""), DL_CODE_SUCCESS);
            const auto [all, proxied] = ServerSaw(name);
            EXPECT_GT(all, 0u);
            EXPECT_EQ(proxied, all);
        }
    }

    std::string Target(const std::string& fragment) const
    {
        return "http://127.0.0.1:" + std::to_string(server.Port()) + fragment;
    }

    HttpTestServer server;
    TestSupport::TempDir dir;
    std::shared_ptr<const std::string> body = TestSupport::MakeBody(1048576 + 7);
    int runs = 0;
};

} // namespace

TEST_F(ProxyDownloads, TheUsersManualProxyCarriesEveryRequestOfEveryDownloader)
{
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Running());
    // Per-scheme form: only the http entry serves these URLs.
    SystemProxyConfig system({ L"http=" + proxy.HostPort() + L";https=192.0.2.1:9", L"", L"", false });
    ASSERT_TRUE(system.Written());
    server.AddBody("big.exe", TestSupport::MakeBody(20 * 1048576 + 3)); // two ranges

    EXPECT_EQ(Download(1, server.FileUrl("pkg1.exe"), L""), DL_CODE_SUCCESS);
    EXPECT_EQ(Download(3, server.FileUrl("big.exe"), L""), DL_CODE_SUCCESS);
    EXPECT_EQ(Download(2, server.FileUrl("pkg2.exe"), L""), DL_CODE_SUCCESS);

    for (const std::string name : { "/pkg1.exe", "/big.exe", "/pkg2.exe" }) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(proxy.RequestsWith("GET " + Target("/files/" + server.Md5Of(name.substr(1)) + name)).empty());
        const auto [all, proxied] = ServerSaw(name);
        EXPECT_GE(all, name == "/pkg2.exe" ? 1u : 2u) << "the libcurl downloaders probe with HEAD first";
        EXPECT_EQ(proxied, all) << "every request of the run came through the proxy";
    }
    EXPECT_GE(server.Requests("GET").size(), 4u) << "one GET per small file, one per range of the big one";
}

TEST_F(ProxyDownloads, BypassListSendsAHostDirectAndRedirectsAreDecidedPerHost)
{
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Running());
    {
        // 127.0.0.1 is listed: direct; its redirect to "localhost" is not, so that goes
        // through the proxy. The proxy is named by address: Wine's WinHTTP sends a plain
        // request line when target and proxy host texts are equal.
        SystemProxyConfig system({ L"127.0.0.1:" + std::to_wstring(proxy.Port()), L"127.0.0.1", L"", false });
        ASSERT_TRUE(system.Written());
        for (const int type : { 1, 3, 2 }) {
            SCOPED_TRACE(type);
            const std::string name = "pkg" + std::to_string(type) + ".exe";
            const std::string redirected = "http://localhost:" + std::to_string(server.Port()) + "/files/";
            const std::size_t before = proxy.RequestsWith(redirected).size();
            EXPECT_EQ(Download(type, server.OtherHostRedirectUrl(name, "localhost"), L""), DL_CODE_SUCCESS);
            EXPECT_TRUE(proxy.RequestsWith("/tohost/").empty());
            EXPECT_GT(proxy.RequestsWith(redirected).size(), before);
            EXPECT_EQ(ServerSaw("/tohost/").second, 0u);
            const auto [all, proxied] = ServerSaw("/files/" + server.Md5Of(name));
            EXPECT_GT(all, 0u);
            EXPECT_EQ(proxied, all);
        }
    }
    {
        SystemProxyConfig local({ proxy.HostPort(), L"<local>", L"", false });
        const std::size_t before = proxy.Requests().size();
        server.AddBody("local.exe", body); // a path no earlier request of this test took
        const std::string path = "/files/" + server.Md5Of("local.exe") + "/local.exe";
        EXPECT_EQ(Download(1, "http://localhost:" + std::to_string(server.Port()) + path, L""), DL_CODE_SUCCESS);
        EXPECT_EQ(proxy.Requests().size(), before) << "a name without a dot is local";
        EXPECT_EQ(ServerSaw(path).second, 0u);
    }
}

TEST_F(ProxyDownloads, TheSettingOverridesTheSystemForEveryDownloader)
{
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Running());
    // The system's proxy is down: only a setting that avoids it can succeed.
    SystemProxyConfig system({ L"localhost:" + std::to_wstring(TestSupport::UnusedLoopbackPort()), L"", L"", false });
    struct Case {
        int type;
        std::wstring setting;
        bool proxied;
    };
    const Case cases[] = {
        { 1, L"direct", false },
        { 3, L"direct", false },
        { 2, L"direct", false },
        { 1, proxy.HostPort(), true },
        { 3, L"http://" + proxy.HostPort(), true },
        { 2, proxy.HostPort(), true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.setting) + " type " + std::to_string(c.type));
        const std::string name = "pkg" + std::to_string(c.type) + ".exe";
        const auto before = ServerSaw(name);
        EXPECT_EQ(Download(c.type, server.FileUrl(name), c.setting), DL_CODE_SUCCESS);
        const auto after = ServerSaw(name);
        EXPECT_GT(after.first, before.first);
        EXPECT_EQ(after.second - before.second, c.proxied ? after.first - before.first : 0u);
    }
}

TEST_F(ProxyDownloads, ADownOrRefusingProxyEndsInTheFailureEvent)
{
    TinyProxy::Options refusing;
    refusing.refuseLoopback = true;
    TinyProxy refuser(refusing);
    ASSERT_TRUE(refuser.Running());
    const std::wstring down = L"localhost:" + std::to_wstring(TestSupport::UnusedLoopbackPort());
    for (const std::wstring& setting : { down, refuser.HostPort() }) {
        for (const int type : { 1, 3, 2 }) {
            SCOPED_TRACE(Narrow(setting) + " type " + std::to_string(type));
            EXPECT_EQ(Download(type, server.FileUrl("pkg1.exe"), setting), DL_CODE_FAIL);
        }
    }
    EXPECT_EQ(ServerSaw("pkg1.exe").first, 0u) << "nothing got past either proxy";
}

TEST_F(ProxyDownloads, BasicAuthenticationWithTheSettingsCredentials)
{
    TestSupport::LogCapture log;
    TinyProxy::Options options;
    options.basicAuthUser = "alice";
    options.basicAuthPassword = "s3cret";
    TinyProxy proxy(options);
    ASSERT_TRUE(proxy.Running());
    const std::wstring withCredentials = L"alice:s3cret@" + proxy.HostPort();
    for (const int type : { 1, 3, 2 }) {
        SCOPED_TRACE(type);
        const std::string name = "pkg" + std::to_string(type) + ".exe";
        EXPECT_EQ(Download(type, server.FileUrl(name), withCredentials), DL_CODE_SUCCESS);
        const auto [all, proxied] = ServerSaw(name);
        EXPECT_GT(all, 0u);
        EXPECT_EQ(proxied, all);
    }
    EXPECT_EQ(Download(1, server.FileUrl("pkg1.exe"), proxy.HostPort()), DL_CODE_FAIL) << "no credentials, no way";
    EXPECT_TRUE(log.Matching(L"s3cret").empty()) << "the password never reaches the log";
}

TEST_F(ProxyDownloads, AutomaticConfigurationScriptPerUrlAndDirectWhenItFails)
{
    TestSupport::LogCapture log;
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Running());
    server.AddBody("proxy.pac",
        std::make_shared<const std::string>("function FindProxyForURL(url, host) {\n"
                                            "  if (host == \"localhost\") return \"DIRECT\";\n"
                                            "  return \"PROXY "
            + Narrow(proxy.HostPort()) + "; DIRECT\";\n}\n"));
    {
        SystemProxyConfig script({ L"", L"", WideUrl(server.FileUrl("proxy.pac")), false });
        ExpectEveryDownloaderProxied(); // the script names the proxy for 127.0.0.1
        EXPECT_FALSE(log.Matching(L"(automatic configuration)").empty());
    }
    {
        server.AddBody("late.exe", body);
        SystemProxyConfig broken({ L"", L"", WideUrl(server.BaseUrl() + "/missing.pac"), false });
        for (const int type : { 1, 3, 2 }) {
            SCOPED_TRACE(type);
            EXPECT_EQ(Download(type, server.FileUrl("late.exe"), L""), DL_CODE_SUCCESS);
        }
        EXPECT_EQ(ServerSaw("late.exe").second, 0u) << "an unusable script means a direct connection";
        EXPECT_FALSE(log.Matching(L"automatic proxy configuration failed").empty());
    }
}

TEST_F(ProxyDownloads, TheMachinesProxyAloneCarriesEveryDownloaderAndTheUsersComesFirst)
{
    TestSupport::LogCapture log;
    TinyProxy proxy;
    ASSERT_TRUE(proxy.Running());
    SystemProxyConfig noUserProxy({ L"", L"", L"", false });
    TestSupport::MachineProxyConfig machine(proxy.HostPort(), L"");
    ASSERT_TRUE(machine.Written());
    WINHTTP_PROXY_INFO read {};
    ASSERT_TRUE(::WinHttpGetDefaultProxyConfiguration(&read));
    UniqueGlobalString readProxy(read.lpszProxy);
    UniqueGlobalString readBypass(read.lpszProxyBypass);
    ASSERT_TRUE(readProxy && readProxy.get() == proxy.HostPort()) << "written where the system reads it";

    ExpectEveryDownloaderProxied();
    EXPECT_FALSE(log.Matching(L"(machine proxy)").empty());

    // A user's own proxy is asked before the machine's: here one that is down.
    SystemProxyConfig user({ L"localhost:" + std::to_wstring(TestSupport::UnusedLoopbackPort()), L"", L"", false });
    EXPECT_EQ(Download(1, server.FileUrl("pkg1.exe"), L""), DL_CODE_FAIL);
    EXPECT_FALSE(log.Matching(L"(user's manual proxy)").empty());
}
