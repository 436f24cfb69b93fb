#include <gtest/gtest.h>

#include <curl/curl.h>

#include <cstring>
#include <utility>

// libcurl is built with only what the downloaders use (scripts/build-deps.sh): this fails when
// a build leaves out something they need. (Basic and Digest have no feature bit; the proxy
// tests use Basic.)
TEST(CurlBuild, HasTheProtocolsAndProxyAuthSchemesTheDownloadersUse)
{
    const curl_version_info_data* info = ::curl_version_info(CURLVERSION_NOW);
    ASSERT_NE(info, nullptr);
    for (const char* wanted : { "http", "https", "file" }) {
        bool found = false;
        for (const char* const* p = info->protocols; *p; ++p) {
            found = found || std::strcmp(*p, wanted) == 0;
        }
        EXPECT_TRUE(found) << wanted;
    }
    for (const auto& [bit, name] : { std::pair { CURL_VERSION_SSL, "TLS" }, { CURL_VERSION_SSPI, "SSPI" },
             { CURL_VERSION_NTLM, "NTLM" }, { CURL_VERSION_SPNEGO, "Negotiate" }, { CURL_VERSION_IPV6, "IPv6" },
             { CURL_VERSION_LARGEFILE, "large files" }, { CURL_VERSION_ASYNCHDNS, "resolver thread" } }) {
        EXPECT_NE(info->features & bit, 0) << name;
    }
}
