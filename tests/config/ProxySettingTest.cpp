#include <gtest/gtest.h>

#include "config/InstallerConfig.h"
#include "config/ProxySetting.h"
#include "support/TempDir.h"

using Config::ParseProxySetting;
using Config::ProxySetting;
using Mode = Config::ProxySetting::Mode;

TEST(ProxySetting, ValuesParseOrAreRefused)
{
    struct Case {
        const wchar_t* text;
        bool valid;
        Mode mode;
        const wchar_t* host;
        unsigned port;
        const wchar_t* user;
        const wchar_t* password;
    };
    const Case cases[] = {
        { L"", true, Mode::System, L"", 0, L"", L"" },
        { L"  ", true, Mode::System, L"", 0, L"", L"" },
        { L"direct", true, Mode::Direct, L"", 0, L"", L"" },
        { L"DIRECT", true, Mode::Direct, L"", 0, L"", L"" },
        { L"proxy.corp:8080", true, Mode::Named, L"proxy.corp", 8080, L"", L"" },
        { L"http://10.0.0.1:3128/", true, Mode::Named, L"10.0.0.1", 3128, L"", L"" },
        { L"[::1]:3128", true, Mode::Named, L"[::1]", 3128, L"", L"" },
        { L"alice:s3cr:t@p@proxy:8080", true, Mode::Named, L"proxy", 8080, L"alice", L"s3cr:t@p" },
        { L"CORP\\bob@proxy:8080", true, Mode::Named, L"proxy", 8080, L"CORP\\bob", L"" },
        // Refused: the mode falls back to the system's own.
        { L"proxy.corp", false, Mode::System, L"", 0, L"", L"" },
        { L"proxy:0", false, Mode::System, L"", 0, L"", L"" },
        { L"proxy:65536", false, Mode::System, L"", 0, L"", L"" },
        { L"proxy:80a", false, Mode::System, L"", 0, L"", L"" },
        { L":8080", false, Mode::System, L"", 0, L"", L"" },
        { L"pro xy:8080", false, Mode::System, L"", 0, L"", L"" },
        { L"::1:8080", false, Mode::System, L"", 0, L"", L"" },
        { L"socks5://proxy:1080", false, Mode::System, L"", 0, L"", L"" },
        { L":secret@proxy:8080", false, Mode::System, L"", 0, L"", L"" },
        { L"alice:secret@", false, Mode::System, L"", 0, L"", L"" },
        { L"alice:secret", false, Mode::System, L"", 0, L"", L"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const ProxySetting s = ParseProxySetting(c.text);
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.mode, c.mode);
        EXPECT_EQ(s.host, c.host);
        EXPECT_EQ(s.port, c.port);
        EXPECT_EQ(s.user, c.user);
        EXPECT_EQ(s.password, c.password);
        EXPECT_EQ(s.problem.empty(), c.valid);
        // Nothing that could be a password reaches the description.
        for (const wchar_t* secret : { L"secret", L"s3cr" }) {
            EXPECT_EQ(s.Describe().find(secret), std::wstring::npos) << s.Describe().c_str();
        }
    }
    EXPECT_EQ(
        ParseProxySetting(L"alice:s3cr:t@p@proxy:8080").Describe(), L"proxy:8080 as user alice (password hidden)");
    EXPECT_EQ(ParseProxySetting(L"alice:secret@proxy:0").Describe(),
        L"refused (the port is not a number from 1 to 65535), using the system configuration");
}

TEST(ProxySetting, FileKeyAndOptionFollowTheLayers)
{
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini", "[Install]\r\nProxy=file:1\r\n"));
    InstallerConfig c = DefaultInstallerConfig();
    EXPECT_EQ(c.Proxy, L"") << "the system's configuration unless something says otherwise";
    ApplySettingsFile(c, dir / L"a.ini");
    EXPECT_EQ(c.Proxy, L"file:1");
    ApplyCommandLine(c, L"prog.exe -proxy=direct -proxy=other:2");
    EXPECT_EQ(c.Proxy, L"direct") << "command line over file, first occurrence wins";
    ApplyCommandLine(c, L"prog.exe -Proxy=upper:3");
    EXPECT_EQ(c.Proxy, L"direct") << "options are lower-case";
}
