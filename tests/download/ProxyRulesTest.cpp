#include <gtest/gtest.h>

#include "download/ProxyRules.h"

using namespace Download;

namespace {

UrlTarget Target(const wchar_t* url)
{
    const auto target = ParseUrlTarget(url);
    EXPECT_TRUE(target.has_value()) << url;
    return target.value_or(UrlTarget {});
}

} // namespace

TEST(ProxyRules, UrlTargetsTakeSchemeHostAndPort)
{
    const UrlTarget a = Target(L"HTTP://User:pw@Example.COM/x:y?z");
    EXPECT_EQ(a.scheme, L"http");
    EXPECT_EQ(a.host, L"example.com");
    EXPECT_EQ(a.port, 80u);
    EXPECT_EQ(Target(L"https://h").port, 443u);
    EXPECT_EQ(Target(L"http://[::1]:8080/p").host, L"::1");
    EXPECT_EQ(Target(L"http://[::1]:8080/p").port, 8080u);
    for (const wchar_t* bad : { L"no-scheme", L"http:///path", L"http://h:99999/", L"ftp://h/", L"http://[::1/" }) {
        EXPECT_FALSE(ParseUrlTarget(bad).has_value()) << bad;
    }
}

TEST(ProxyRules, ProxyTextsGiveTheEntriesForTheScheme)
{
    struct Case {
        const wchar_t* text;
        const wchar_t* scheme;
        std::vector<std::wstring> entries;
    };
    const Case cases[] = {
        { L"proxy:8080", L"https", { L"proxy:8080" } },
        { L"http://proxy:8080/", L"http", { L"proxy:8080" } },
        { L"http=a:1;https=b:2", L"http", { L"a:1" } },
        { L"http=a:1;https=b:2", L"https", { L"b:2" } },
        { L"HTTP=http://a:1; ftp=c:3", L"http", { L"a:1" } },
        { L"http=a:1", L"https", {} },
        { L"socks=s:1080", L"http", {} },
        { L"a:1 b:2", L"http", { L"a:1", L"b:2" } },
        { L"PROXY a:1; PROXY b:2; DIRECT", L"https", { L"a:1", L"b:2", L"" } },
        { L"DIRECT", L"http", { L"" } },
        { L"SOCKS s:1; PROXY a:1", L"http", { L"a:1" } },
        { L"", L"http", {} },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProxyEntriesFor(c.text, c.scheme), c.entries) << c.text << L" for " << c.scheme;
    }
}

TEST(ProxyRules, BypassListsMatchHostsWildcardsPortsAndLocalNames)
{
    struct Case {
        const wchar_t* list;
        const wchar_t* url;
        bool bypassed;
    };
    const Case cases[] = {
        { L"<local>", L"http://intranet/x", true },
        { L"<local>", L"http://intranet.corp/x", false },
        { L"<local>", L"http://127.0.0.1/x", false },
        { L"*.corp.example; 10.*", L"http://files.corp.example/x", true },
        { L"*.corp.example; 10.*", L"http://corp.example/x", false },
        { L"*.corp.example; 10.*", L"https://10.1.2.3/x", true },
        { L"EXAMPLE.com", L"http://example.COM/", true },
        { L"example.com", L"http://www.example.com/", false },
        { L"example.com:8080", L"http://example.com:8080/", true },
        { L"example.com:8080", L"http://example.com/", false },
        { L"https://example.com", L"http://example.com/", false },
        { L"https://example.com", L"https://example.com/", true },
        { L"[::1]", L"http://[::1]:81/", true },
        { L"", L"http://example.com/", false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BypassListMatches(c.list, Target(c.url)), c.bypassed) << c.list << L" / " << c.url;
    }
}
