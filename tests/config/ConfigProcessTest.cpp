// The settings layers and the route rule in a real process: a copy of the probe program
// with a settings file beside it, started with options, on the Windows version Wine is
// told to report for that program.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace {

class ProbeCopy {
public:
    explicit ProbeCopy(const std::wstring& exeName)
        : m_exe(m_dir / exeName)
        , m_name(exeName)
    {
        CopyFileW((TestSupport::BinDirectory() + L"\\vlm_config_probe.exe").c_str(), m_exe.c_str(), FALSE);
    }
    ~ProbeCopy()
    {
        if (m_versionSet) {
            RegDeleteTreeW(HKEY_CURRENT_USER, AppDefaultsKey().c_str());
        }
    }

    void WriteSettings(const std::string& text)
    {
        TestSupport::WriteFileBytes(m_dir / L"TarvikInstallerConfig.ini", text);
    }

    // Wine reads a per-program Windows version from this key.
    void SetWindowsVersion(const std::wstring& version)
    {
        Utils::UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, AppDefaultsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      key.put(), nullptr),
            ERROR_SUCCESS);
        const DWORD bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(
            RegSetValueExW(key.get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()), bytes),
            ERROR_SUCCESS);
        m_versionSet = true;
    }

    std::map<std::wstring, std::wstring> Run(const std::wstring& arguments)
    {
        const auto result = TestSupport::RunProcess(TestSupport::QuoteArgument(m_exe) + L" " + arguments);
        EXPECT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        std::map<std::wstring, std::wstring> fields;
        std::wistringstream lines(Utils::MultiByteToWide(result.output, CP_UTF8));
        for (std::wstring line; std::getline(lines, line);) {
            const auto eq = line.find(L'=');
            if (eq != std::wstring::npos) {
                fields.emplace(line.substr(0, eq), line.substr(eq + 1));
            }
        }
        return fields;
    }

private:
    std::wstring AppDefaultsKey() const { return L"Software\\Wine\\AppDefaults\\" + m_name; }

    TestSupport::TempDir m_dir;
    std::wstring m_exe;
    std::wstring m_name;
    bool m_versionSet = false;
};

std::wstring UniqueExeName(const wchar_t* tag)
{
    return std::wstring(L"probe_") + tag + L"_" + std::to_wstring(GetCurrentProcessId()) + L".exe";
}

} // namespace

TEST(ConfigProcess, WithoutSettingsFileTheDefaultsStand)
{
    ProbeCopy probe(UniqueExeName(L"nofile"));
    auto f = probe.Run(L"");
    EXPECT_EQ(f[L"DownloadType"], L"1");
    EXPECT_EQ(f[L"IsCheckNet"], L"false");
    EXPECT_EQ(f[L"DownloadScale"], L"0.69999999999999996");
    EXPECT_EQ(f[L"LanguageIndex"], L"-1");
    EXPECT_EQ(f[L"InsNew"], L"false");
    EXPECT_NE(
        f[L"DownloadUrl"].find(L"/redirect/ver1/quorvel/download_silent/1.0/installer/123456"), std::wstring::npos);
}

TEST(ConfigProcess, CommandLineWinsOverTheSettingsFile)
{
    ProbeCopy probe(UniqueExeName(L"layers"));
    probe.WriteSettings("[Install]\r\nDownloadType=2\r\nDownloadUrl=http://file/pkg\r\nInstCmd=from-file\r\n");
    auto f = probe.Run(LR"(-downloadtype=3 -language=1 "-instcmd=-a -b" -language=2)");
    EXPECT_EQ(f[L"DownloadType"], L"3");
    EXPECT_EQ(f[L"LanguageIndex"], L"1");
    EXPECT_EQ(f[L"InstCmd"], L"-a -b");
    EXPECT_EQ(f[L"DownloadUrl"], L"http://file/pkg");
    EXPECT_EQ(f[L"IsCheckNet"], L"true") << "a file without the key turns the check on";

    auto quoted = probe.Run(LR"(-instcmd="-a -b")");
    EXPECT_EQ(quoted[L"InstCmd"], L"-a -b");
    auto bare = probe.Run(L"-downloadurl -ischecknet");
    EXPECT_EQ(bare[L"DownloadUrl"], L"");
    EXPECT_EQ(bare[L"IsCheckNet"], L"false");
}

namespace {

// The machine's policy key as Group Policy writes it (the 64-bit view on 64-bit Windows),
// removed again: every installer of the prefix reads it at start-up.
class MachinePolicyKey {
public:
    static constexpr wchar_t kPath[] = L"Software\\Policies\\TarvikSoft\\Vellumora";

    MachinePolicyKey() { Remove(); }
    ~MachinePolicyKey() { Remove(); }

    void Write(const wchar_t* name, DWORD type, const void* data, DWORD bytes)
    {
        Utils::UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                      key.put(), nullptr),
            ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExW(key.get(), name, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
    }

private:
    static void Remove()
    {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kPath, KEY_WOW64_64KEY, 0);
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Policies\\TarvikSoft", KEY_WOW64_64KEY, 0);
    }
};

} // namespace

TEST(ConfigProcess, TheMachinePolicyWinsOverTheSettingsFileAndTheCommandLine)
{
    MachinePolicyKey policy;
    const DWORD type = 3;
    const wchar_t url[] = L"http://policy/pkg";
    policy.Write(L"DownloadType", REG_DWORD, &type, sizeof(type));
    policy.Write(L"DownloadUrl", REG_SZ, url, sizeof(url));
    ProbeCopy probe(UniqueExeName(L"policy"));
    probe.WriteSettings("[Install]\r\nDownloadType=2\r\nInstCmd=from-file\r\n");
    auto f = probe.Run(L"-downloadtype=1 -downloadurl=http://cmd/pkg");
    EXPECT_EQ(f[L"DownloadType"], L"3");
    EXPECT_EQ(f[L"DownloadUrl"], url);
    EXPECT_EQ(f[L"InstCmd"], L"from-file") << "what no policy governs stays the layers' own";
}

struct RouteCase {
    const wchar_t* wineVersion;
    const wchar_t* route;
};

class ConfigRouteByVersion : public ::testing::TestWithParam<RouteCase> { };

TEST_P(ConfigRouteByVersion, PlaceholderTakesTheRouteOfTheReportedWindows)
{
    const RouteCase c = GetParam();
    ProbeCopy probe(UniqueExeName(c.wineVersion));
    probe.SetWindowsVersion(c.wineVersion);
    probe.WriteSettings("[Install]\r\nDownloadUrl=http://f/${ROUTE}/file\r\n");
    auto f = probe.Run(L"-downloadtype=2");
    EXPECT_EQ(f[L"DownloadUrl"], std::wstring(L"http://f/") + c.route + L"/file");
    auto g = probe.Run(L"-downloadurl=http://h/${ROUTE}/x/${ROUTE}");
    EXPECT_EQ(g[L"DownloadUrl"], std::wstring(L"http://h/") + c.route + L"/x/" + c.route);
}

INSTANTIATE_TEST_SUITE_P(Versions, ConfigRouteByVersion,
    ::testing::Values(RouteCase { L"winxp", L"download_silent_xp" }, RouteCase { L"win2k", L"download_silent" },
        RouteCase { L"win2003", L"download_silent" }, RouteCase { L"win7", L"download_silent" },
        RouteCase { L"win10", L"download_silent" }),
    [](const auto& info) { return Utils::WideToMultiByte(info.param.wineVersion, CP_ACP); });
