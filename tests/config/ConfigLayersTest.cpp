#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cmath>
#include <cwchar>

#include "config/FolderOption.h"
#include "config/InstallerConfig.h"
#include "config/MachinePolicy.h"
#include "config/Numbers.h"
#include "config/Route.h"
#include "config/RunSettings.h"
#include "config/SettingsFile.h"
#include "config/SettingsFileTrust.h"
#include "support/TempDir.h"
#include "utils/ChangeableByOthers.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

using namespace Config;

TEST(ConfigNumbers, IntegersTakeLeadingDigitsAndRefuseOverflow)
{
    EXPECT_EQ(ParseLeadingInt(L"  -42abc"), -42);
    EXPECT_EQ(ParseLeadingInt(L"+7"), 7);
    EXPECT_EQ(ParseLeadingInt(L"abc"), 0);
    EXPECT_EQ(ParseLeadingInt(L""), 0);
    EXPECT_EQ(ParseLeadingInt(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseLeadingInt(L"-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseLeadingInt(L"2147483648"), std::nullopt);
    EXPECT_EQ(ParseLeadingInt(L"99999999999999999999999"), std::nullopt);
}

TEST(ConfigNumbers, DecimalsTakeLeadingNumberOnly)
{
    EXPECT_EQ(ParseLeadingDouble(L" 0.25xyz", 0.0), 0.25);
    EXPECT_EQ(ParseLeadingDouble(L"-1e2", 0.0), -100.0);
    EXPECT_EQ(ParseLeadingDouble(L".5", 0.0), 0.5);
    EXPECT_EQ(ParseLeadingDouble(L"3e", 0.0), 3.0);
    EXPECT_EQ(ParseLeadingDouble(L"abc", 0.0), 0.0);
    EXPECT_EQ(ParseLeadingDouble(L"inf", std::nullopt), std::nullopt);
    EXPECT_EQ(ParseLeadingDouble(L"nan", std::nullopt), std::nullopt);
    EXPECT_EQ(ParseLeadingDouble(L"1e999", 0.0), std::nullopt);
    EXPECT_TRUE(ParseBool(L"true"));
    EXPECT_FALSE(ParseBool(L"True"));
    EXPECT_FALSE(ParseBool(L"1"));
    EXPECT_FALSE(ParseBool(L""));
}

TEST(ConfigRoute, RouteWordByVersionAndProduct)
{
    EXPECT_EQ(RouteWord(L"XP", ProductNumber, true), L"download_silent_xp");
    EXPECT_EQ(RouteWord(L"XP-", ProductNumber, false), L"download_silent_xp");
    EXPECT_EQ(RouteWord(L"XP+", ProductNumber, false), L"download_silent_xp");
    EXPECT_EQ(RouteWord(L"Server 2003 R2", ProductNumber, true), L"download_silent");
    EXPECT_EQ(RouteWord(L"10", ProductNumber, true), L"download_silent") << "417 has no 64-bit route";
    EXPECT_EQ(RouteWord(L"10", 385, true), L"download_silent_64");
    EXPECT_EQ(RouteWord(L"10", 385, false), L"download_silent");
    EXPECT_EQ(ApplyRoute(L"http://x/plain"), L"http://x/plain");
}

TEST(ConfigDefaults, BuiltInValues)
{
    const InstallerConfig c = DefaultInstallerConfig();
    EXPECT_EQ(c.DownloadUrl, BuiltInDownloadUrl());
    EXPECT_NE(c.DownloadUrl.find(L"/redirect/ver1/quorvel/download_silent/1.0/installer/123456"), std::wstring::npos);
    EXPECT_EQ(c.DownloadType, 1);
    EXPECT_FALSE(c.IsCheckNet);
    EXPECT_TRUE(c.IsEnableAppSensors);
    EXPECT_EQ(c.DownloadScale, 0.7);
    EXPECT_EQ(c.LanguageIndex, -1);
    EXPECT_FALSE(c.InsNew);
    EXPECT_EQ(c.DlAppNameSuffix, L".downloader");
}

TEST(ConfigFile, HeaderOnlyFileTurnsTheNetworkCheckOn)
{
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini", "[Install]\r\n"));
    InstallerConfig c = DefaultInstallerConfig();
    ApplySettingsFile(c, dir / L"a.ini");
    EXPECT_TRUE(c.IsCheckNet);
    const InstallerConfig d = DefaultInstallerConfig();
    EXPECT_EQ(c.DownloadUrl, d.DownloadUrl);
    EXPECT_EQ(c.DownloadType, 1);
    EXPECT_EQ(c.DownloadScale, 0.7);
    EXPECT_TRUE(c.IsEnableAppSensors);

    InstallerConfig missing = DefaultInstallerConfig();
    ApplySettingsFile(missing, dir / L"none.ini");
    EXPECT_FALSE(missing.IsCheckNet);
}

TEST(ConfigFile, ValuesAreConvertedAndCutAt259Characters)
{
    TestSupport::TempDir dir;
    const std::string longText(300, 'u');
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini",
        "[Install]\r\nDownloadUrl=http://h/" + longText
            + "\r\nDownloadType=3x\r\nIsCheckNet=TRUE\r\n"
              "IsEnableAppSensors=false\r\nDownloadScale=abc\r\nInstCmd=-a -b\r\nm_DlAppVersion=2.1\r\n"
              "DlAppNameSuffix=.dl\r\n"));
    InstallerConfig c = DefaultInstallerConfig();
    ApplySettingsFile(c, dir / L"a.ini");
    EXPECT_EQ(c.DownloadUrl.size(), 259u);
    EXPECT_EQ(c.DownloadType, 3);
    EXPECT_FALSE(c.IsCheckNet);
    EXPECT_FALSE(c.IsEnableAppSensors);
    EXPECT_EQ(c.DownloadScale, 0.0) << "no number in the file gives 0";
    EXPECT_EQ(c.InstCmd, L"-a -b");
    EXPECT_EQ(c.m_DlAppVersion, L"2.1");
    EXPECT_EQ(c.DlAppNameSuffix, L".dl");

    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"b.ini", "[Install]\r\nDownloadType=99999999999\r\n"));
    InstallerConfig big = DefaultInstallerConfig();
    ApplySettingsFile(big, dir / L"b.ini");
    EXPECT_EQ(big.DownloadType, 1) << "out of range keeps the earlier value";
}

// An elevated run reads the settings file beside it, and runs an old uninstaller unpinned from
// its folder, only when administrators alone could have written them; decided on the
// descriptor (Wine keeps none, so descriptors are built here).
TEST(ConfigFile, AnElevatedRunTrustsOnlyWhatAdministratorsAloneMayChange)
{
    using Utils::HeldEntry;
    const wchar_t* const trustedInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
    // What the installer gives a folder it makes for a machine-wide installation, owned by
    // the elevated run's default owner.
    std::wstring machineFolder;
    {
        Utils::UniqueLocalMem made(Utils::MakeMachineFolderDescriptor());
        ASSERT_TRUE(made);
        wchar_t* text = nullptr;
        ASSERT_TRUE(::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            made.get(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
        Utils::UniqueLocalMem textOwner(text);
        machineFolder = std::wstring(L"O:BA") + text;
        EXPECT_EQ(machineFolder.rfind(L"O:BAD:P", 0), 0u) << "inheritance from C:\\ is cut";
    }
    const struct {
        const char* name;
        std::wstring sddl;
        const wchar_t* reason; // a part of the refusal's words; null: trusted
        HeldEntry entry = HeldEntry::File;
    } cases[] = {
        { "administrators' own, users read", L"O:BAD:(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)", nullptr },
        { "the system's", L"O:SYD:(A;;FA;;;SY)", nullptr },
        { "TrustedInstaller's", std::wstring(L"O:") + trustedInstaller + L"D:(A;;FA;;;" + trustedInstaller + L")",
            nullptr },
        { "owner rights is the owner", L"O:BAD:(A;;FA;;;OW)", nullptr },
        { "write inherited by children only", L"O:BAD:(A;;FA;;;BA)(A;OICIIO;FA;;;BU)", nullptr },
        { "write denied to users", L"O:BAD:(A;;FA;;;BA)(D;;FA;;;BU)", nullptr },
        { "a user's download", L"O:S-1-5-21-1-2-3-1001D:(A;;FA;;;BA)", L"its owner S-1-5-21-1-2-3-1001 is not" },
        { "Wine's made-up descriptor",
            L"O:S-1-5-21-0-0-0-1000D:(A;;FA;;;SY)(A;;FA;;;S-1-5-21-0-0-0-1000)(A;;0x1200a9;;;WD)", L"its owner" },
        { "a folder made under C:\\", L"O:BAD:(A;;FA;;;BA)(A;ID;0x1301bf;;;AU)", L"S-1-5-11 may change it" },
        { "users may append", L"O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)", L"S-1-5-32-545 may change it" },
        { "everyone generic write", L"O:BAD:(A;;GW;;;WD)", L"S-1-1-0 may change it" },
        { "interactive may rewrite its access", L"O:BAD:(A;;WD;;;IU)", L"S-1-5-4 may change it" },
        { "the signed-in user", L"O:BAD:(A;;FA;;;BA)(A;;FA;;;S-1-5-21-1-2-3-1001)", L"S-1-5-21-1-2-3-1001 may" },
        { "no access list", L"O:BA", L"no access list" },
        { "no owner", L"D:(A;;FA;;;BA)", L"no owner" },
        { "a folder made for a machine-wide installation", machineFolder, nullptr, HeldEntry::Folder },
        { "a folder made under C:\\ holding an uninstaller", L"O:BAD:(A;;FA;;;BA)(A;ID;0x1301bf;;;AU)",
            L"S-1-5-11 may change it", HeldEntry::Folder },
        { "a file users may delete only", L"O:BAD:(A;;FA;;;BA)(A;;0x1200e9;;;BU)", nullptr },
        { "a folder users may empty", L"O:BAD:(A;;FA;;;BA)(A;;0x1200e9;;;BU)", L"S-1-5-32-545 may change it",
            HeldEntry::Folder },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            c.sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
        Utils::UniqueLocalMem owner(descriptor);
        const std::wstring reason = Utils::ChangeableByOthersReason(descriptor, c.entry);
        if (c.reason) {
            EXPECT_NE(reason.find(c.reason), std::wstring::npos) << Utils::WideToMultiByte(reason, CP_UTF8);
        } else {
            EXPECT_EQ(reason, L"");
        }
    }

    // Judged on the handle that would be read: a reason leaves the file unread.
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini", "[Install]\r\nInstallDir=C:\\Users\\x\r\n"));
    SettingsFile file = SettingsFile::Read(dir / L"a.ini", L"Install", [](HANDLE) { return std::wstring(L"no"); });
    EXPECT_TRUE(file.Exists());
    EXPECT_EQ(file.Ignored(), L"no");
    EXPECT_EQ(file.Value(L"InstallDir", 260), std::nullopt);
}

namespace {

std::string Utf16LittleEndian(const std::wstring& text)
{
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>((c >> 8) & 0xFF);
    }
    return bytes;
}

} // namespace

// Every encoding a settings file is found in, and the profile functions' rules for names,
// blanks, quotes, comments and repeats; what no setting reads is named for the log.
TEST(ConfigFile, EncodingsAndProfileRules)
{
    const std::string chinese = "[Install]\r\nInstCmd=-channel=\xE5\x90\x88\xE4\xBD\x9C\r\n"
                                "InstallDir=D:\\\xE5\xBA\x94\xE7\x94\xA8\r\n";
    const struct {
        const char* name;
        std::string bytes;
        std::wstring instCmd;
        std::optional<std::wstring> installDir;
        std::vector<std::wstring> unknownKeys;
    } cases[] = {
        { "UTF-8", chinese, L"-channel=合作", L"D:\\应用", {} },
        { "UTF-8 with BOM", "\xEF\xBB\xBF" + chinese, L"-channel=合作", L"D:\\应用", {} },
        { "UTF-16", Utf16LittleEndian(L"[Install]\r\nInstCmd=-channel=合作\r\nInstallDir=D:\\应用\r\n"),
            L"-channel=合作", L"D:\\应用", {} },
        { "ANSI", "[Install]\r\nInstCmd=caf\xE9\r\n", Utils::MultiByteToWide("caf\xE9", CP_ACP), std::nullopt, {} },
        { "profile rules",
            "InstCmd=before any section\n[Other]\nInstCmd=other\n  [ install ]  x]\n;InstCmd=comment\n"
            "\t instcmd \t=  ' a \"b\" '  \nINSTCMD=second\nInstallDir\nColour=blue\n#Quiet=true\nquiet true\n"
            "=x\n[Install]\nInstCmd=second section\nSize=1\n",
            L" a \"b\" ", std::nullopt, { L"Colour", L"#Quiet", L"quiet true", L"" } },
    };
    TestSupport::TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini", c.bytes));
        InstallerConfig config = DefaultInstallerConfig();
        ApplySettingsFile(config, dir / L"a.ini");
        EXPECT_EQ(config.InstCmd, c.instCmd) << c.name;
        EXPECT_EQ(config.InstallDir, c.installDir) << c.name;
        EXPECT_EQ(config.UnknownSettingsKeys, c.unknownKeys) << c.name;
        EXPECT_TRUE(config.InvalidValues.empty()) << c.name;
    }

    // One that cannot be read leaves the defaults in force, and quiet mode refuses to run so.
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"big.ini", std::string(kMaxSettingsFileBytes + 1, ';')));
    InstallerConfig big = DefaultInstallerConfig();
    ApplySettingsFile(big, dir / L"big.ini");
    EXPECT_FALSE(big.IsCheckNet);
    EXPECT_EQ(big.InvalidValues.count(L"SettingsFile"), 1u);
}

TEST(ConfigCommandLine, OptionsOverrideAndFirstOccurrenceWins)
{
    InstallerConfig c = DefaultInstallerConfig();
    ApplyCommandLine(c,
        LR"(prog.exe -downloadtype=3 -language=1 -instcmd="-a -b" -language=2 )"
        LR"(-downloadurl=http://a/x=y -downloadurl=http://b/ -ischecknet=True -insnew=true unknown)");
    EXPECT_EQ(c.DownloadType, 3);
    EXPECT_EQ(c.LanguageIndex, 1);
    EXPECT_EQ(c.InstCmd, L"-a -b");
    EXPECT_EQ(c.DownloadUrl, L"http://a/x=y");
    EXPECT_FALSE(c.IsCheckNet);
    EXPECT_TRUE(c.InsNew);
    EXPECT_EQ(c.DownloadScale, 0.7);
}

TEST(ConfigCommandLine, BareOptionsCountAsEmptyValues)
{
    InstallerConfig c = DefaultInstallerConfig();
    c.IsCheckNet = true;
    ApplyCommandLine(c, L"prog.exe -downloadurl -ischecknet -downloadtype");
    EXPECT_EQ(c.DownloadUrl, L"");
    EXPECT_FALSE(c.IsCheckNet);
    EXPECT_EQ(c.DownloadType, 0);
}

TEST(ConfigCommandLine, UnusableNumbersKeepTheEarlierValue)
{
    InstallerConfig c = DefaultInstallerConfig();
    ApplyCommandLine(c, L"prog.exe -downloadscale=abc -language=99999999999 -downloadtype=7");
    EXPECT_EQ(c.DownloadScale, 0.7);
    EXPECT_EQ(c.LanguageIndex, -1);
    EXPECT_EQ(c.DownloadType, 7);
    ApplyCommandLine(c, L"prog.exe -downloadscale=1e400");
    EXPECT_EQ(c.DownloadScale, 0.7);
    ApplyCommandLine(c, L"prog.exe -downloadscale=0.5");
    EXPECT_EQ(c.DownloadScale, 0.5);
}

TEST(ConfigQuietMode, FileAndCommandLineTellGivenFromAbsent)
{
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"q.ini", "[Install]\r\nQuiet=true\r\nInstallDir=\r\n"));
    InstallerConfig c = DefaultInstallerConfig();
    EXPECT_FALSE(c.Quiet);
    EXPECT_FALSE(c.InstallDir.has_value());
    ApplySettingsFile(c, dir / L"q.ini");
    EXPECT_TRUE(c.Quiet);
    ASSERT_TRUE(c.InstallDir.has_value()) << "an empty key is given, and refused later";
    EXPECT_EQ(*c.InstallDir, L"");
    EXPECT_FALSE(c.Launch);

    ApplyCommandLine(c, LR"(prog.exe "-installdir=D:\Apps\Quill" -launch=true -quiet=True -installdir=E:\x)");
    EXPECT_EQ(*c.InstallDir, L"D:\\Apps\\Quill");
    EXPECT_TRUE(c.Launch);
    EXPECT_FALSE(c.Quiet) << "only exactly true";
}

TEST(ConfigQuietMode, FolderOptionMustBeAFullPathOfLegalCharacters)
{
    const struct {
        const wchar_t* folder;
        bool usable;
    } cases[] = {
        { L"C:\\Program Files\\TarvikQuill", true },
        { L"d:/apps/quill", true },
        { L"\\\\server\\share\\Quill", false },
        { L"//server/share/Quill", false },
        { L"", false },
        { L"TarvikQuill", false },
        { L"..\\TarvikQuill", false },
        { L"C:TarvikQuill", false },
        { L"\\TarvikQuill", false },
        { L"\\\\?\\C:\\TarvikQuill", false },
        { L"C:\\Tarvik|Quill", false },
        { L"C:\\Tarvik*", false },
        { L"C:\\a:b", false },
        { L"C:\\a\"b", false },
        { L"C:\\a\tb", false },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FolderOptionProblem(c.folder).empty(), c.usable) << c.folder;
    }
}

namespace {

// One value of a policy key as a test writes it.
struct PolicyValueText {
    const wchar_t* name;
    DWORD type;
    const wchar_t* text = nullptr; // REG_SZ
    DWORD number = 0; // REG_DWORD
    bool withNul = true; // a REG_SZ stored with its terminating NUL, as most tools store it
};

// A policy key of the test's own under HKEY_CURRENT_USER (the reader takes any key), gone at
// the end.
class TestPolicyKey {
public:
    TestPolicyKey()
        : m_path(L"Software\\VlmTest\\Policy" + std::to_wstring(::GetCurrentProcessId()))
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    }
    ~TestPolicyKey()
    {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VlmTest"); // only when nothing else is in it
    }

    void Write(const PolicyValueText& value)
    {
        Utils::UniqueRegKey key;
        ASSERT_EQ(::RegCreateKeyExW(
                      HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr),
            ERROR_SUCCESS);
        if (value.type == REG_DWORD) {
            ASSERT_EQ(::RegSetValueExW(key.get(), value.name, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD)),
                ERROR_SUCCESS);
            return;
        }
        const std::size_t length = std::wcslen(value.text) + (value.withNul ? 1 : 0);
        ASSERT_EQ(::RegSetValueExW(key.get(), value.name, 0, value.type, reinterpret_cast<const BYTE*>(value.text),
                      static_cast<DWORD>(length * sizeof(wchar_t))),
            ERROR_SUCCESS);
    }

    PolicyEntries Read() const { return ReadPolicyEntries(HKEY_CURRENT_USER, m_path); }

private:
    std::wstring m_path;
};

} // namespace

// The machine policy is the last layer: each value it holds is the one in force, shown as the
// policy's in the log's settings line; one it cannot use is refused as any layer's (an
// unattended run ends with code 2), named as the policy's, an allowance then turning false.
TEST(ConfigPolicy, EachPolicyValueWinsOverTheFileAndTheCommandLine)
{
    const wchar_t* const mirrorsRefused
        = L"value refused: 'policy MirrorUrls=http://m/ffff/p.exe' (every mirror "
          L"must carry DownloadUrl's MD5, or all one MD5 when DownloadUrl carries none)";
    const struct {
        const char* name;
        const char* file; // the settings file's [Install] lines
        const wchar_t* arguments;
        std::vector<PolicyValueText> values;
        std::vector<const wchar_t*> shown; // parts of the log's settings line
        const wchar_t* refused = L""; // the first unusable value's log line, or ""
    } cases[] = {
        { "no key: nothing changes", "DownloadType=2\r\n", L"-allowdowngrade=true", {},
            { L"; DownloadType=2;", L"; AllowDowngrade=true;", L"; LimitRate=0;" } },
        { "texts and numbers", "DownloadType=2\r\nLimitRate=5\r\n",
            L"-downloadurl=http://cmd/0a1f/p.exe -scope=user -packagetimeout=9",
            { { L"DownloadUrl", REG_SZ, L"http://policy/0a1f/p.exe" }, { L"DownloadType", REG_DWORD, nullptr, 3 },
                { L"Scope", REG_SZ, L"machine" }, { L"LimitRate", REG_DWORD, nullptr, 512 },
                { L"PackageTimeout", REG_DWORD, nullptr, 30 },
                { L"MirrorUrls", REG_SZ, L"http://m/0a1f/p.exe", 0, false } },
            { L"DownloadUrl=http://policy/0a1f/p.exe (policy);", L"; DownloadType=3 (policy);",
                L"; Scope=machine (policy);", L"; LimitRate=512 (policy);", L"; PackageTimeout=30 (policy);",
                L"; MirrorUrls=http://m/0a1f/p.exe (policy);" } },
        { "a policy forbids what the command line allows", "AllowUnverifiedPackage=true\r\n", L"-allowdowngrade=true",
            { { L"AllowDowngrade", REG_DWORD, nullptr, 0 }, { L"AllowUnverifiedPackage", REG_DWORD, nullptr, 0 } },
            { L"; AllowDowngrade=false (policy);", L"; AllowUnverifiedPackage=false (policy);" } },
        { "and allows", "", L"", { { L"AllowDowngrade", REG_DWORD, nullptr, 1 } },
            { L"; AllowDowngrade=true (policy);" } },
        { "a switch of another number", "", L"-allowdowngrade=true", { { L"AllowDowngrade", REG_DWORD, nullptr, 2 } },
            { L"; AllowDowngrade=false (policy);" }, L"value refused: 'policy AllowDowngrade=2' (only true or false)" },
        { "a switch stored as text", "", L"-allowdowngrade=true", { { L"AllowDowngrade", REG_SZ, L"true" } },
            { L"; AllowDowngrade=false;" },
            L"value refused: 'policy AllowDowngrade=(a REG_SZ value, not REG_DWORD)' (only true or false)" },
        { "a number stored as text keeps the command line's", "", L"-downloadtype=2",
            { { L"DownloadType", REG_SZ, L"3" } }, { L"; DownloadType=2;" },
            L"value refused: 'policy DownloadType=(a REG_SZ value, not REG_DWORD)' (unusable)" },
        { "minutes past the bound", "", L"", { { L"PackageTimeout", REG_DWORD, nullptr, 0xFFFFFFFF } }, {},
            L"value refused: 'policy PackageTimeout=4294967295' (a whole number of minutes, 0 for no bound)" },
        { "a scope of another word", "", L"-scope=user", { { L"Scope", REG_SZ, L"all" } }, {},
            L"value refused: 'policy Scope=all' (only user or machine)" },
        { "a malformed proxy", "", L"-proxy=proxy.corp:8080", { { L"Proxy", REG_SZ, L"nohost" } }, {},
            L"-proxy refused, expected host:port (the machine policy's value)" },
        { "mirrors of another MD5", "", L"-downloadurl=http://a/0a1f/p.exe",
            { { L"MirrorUrls", REG_SZ, L"http://m/ffff/p.exe" } }, {}, mirrorsRefused },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestPolicyKey policy;
        for (const PolicyValueText& value : c.values) {
            policy.Write(value);
        }
        TestSupport::TempDir dir;
        ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a.ini", std::string("[Install]\r\n") + c.file));
        InstallerConfig config = DefaultInstallerConfig();
        ApplySettingsFile(config, dir / L"a.ini");
        ApplyCommandLine(config, L"prog.exe " + std::wstring(c.arguments));
        ApplyPolicy(config, policy.Read());
        const RunSettings settings = MakeRunSettings(config);
        for (const wchar_t* part : c.shown) {
            EXPECT_NE(settings.settingsForLog.find(part), std::wstring::npos) << Utils::WideToMultiByte(
                part, CP_UTF8) << " in " << Utils::WideToMultiByte(settings.settingsForLog, CP_UTF8);
        }
        EXPECT_EQ(settings.unusable.empty() ? L"" : settings.unusable.front().logLine, c.refused);
        EXPECT_EQ(settings.unusable.size(), *c.refused ? 1u : 0u);
    }
}
