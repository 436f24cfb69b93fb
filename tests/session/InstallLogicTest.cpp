#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <vector>

#include "support/TempDir.h"
#include "session/InstallFolders.h"
#include "session/InstallProgress.h"
#include "session/InstallRecord.h"
#include "session/InstallVerdict.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"
#include "utils/Text.h"

TEST(InstallProgress, DownloadAndPackageShareOneBar)
{
    InstallProgress progress(0.7);
    EXPECT_EQ(progress.DownloadPercent(0.5), 35);
    EXPECT_EQ(progress.DownloadPercent(1.0), 70);
    EXPECT_EQ(progress.InstallPercent(0.0), 74);
    EXPECT_EQ(progress.InstallPercent(0.0), 78) << "0.3 of the share truncates to 78, not 79";
    EXPECT_EQ(progress.InstallPercent(0.0), 83);
    EXPECT_EQ(progress.InstallPercent(0.9), 97);
    EXPECT_EQ(progress.InstallPercent(1.0), 100);

    InstallProgress zeros(0.7);
    int last = 0;
    for (int i = 0; i < 20; ++i) {
        last = zeros.InstallPercent(0.0);
    }
    EXPECT_EQ(last, 98) << "reports of 0 alone stop at 95 % of the package share";
}

TEST(InstallProgress, StaysOnTheBarWhateverTheScaleOrReport)
{
    InstallProgress large(2.5);
    EXPECT_EQ(large.DownloadPercent(0.9), 90);
    EXPECT_EQ(large.InstallPercent(0.5), 100);
    InstallProgress negative(-1.0);
    EXPECT_EQ(negative.DownloadPercent(0.9), 0);
    EXPECT_EQ(negative.InstallPercent(0.5), 50);
    InstallProgress normal(0.7);
    EXPECT_EQ(normal.DownloadPercent(7.0), 70) << "a download never fills more than its share";
    EXPECT_EQ(normal.InstallPercent(42.0), 100);
}

// With an older version to remove, the removal takes the end of the download's share; the
// bar never moves back within one installation, and a new one starts from 0.
TEST(InstallProgress, DownloadRemovalAndPackageInThatOrderNeverBack)
{
    InstallProgress progress(0.7);
    progress.Begin(true);
    const int steps[] = { progress.DownloadPercent(0.5), progress.DownloadPercent(1.0), progress.DownloadPercent(0.2),
        progress.RemovalPercent(0.0), progress.RemovalPercent(0.5), progress.RemovalPercent(1.0),
        progress.InstallPercent(0.0), progress.InstallPercent(1.0) };
    EXPECT_EQ(
        std::vector<int>(std::begin(steps), std::end(steps)), (std::vector<int> { 30, 60, 60, 60, 65, 70, 74, 100 }));
    progress.Begin(false);
    EXPECT_EQ(progress.DownloadPercent(0.5), 35);
    InstallProgress small(0.1);
    small.Begin(true);
    EXPECT_EQ(small.DownloadPercent(1.0), 5) << "the removal never takes more than half the download's share";
}

TEST(InstallFolders, DefaultFolderByExistingInstallationAndRights)
{
    DefaultFolderInputs inputs;
    inputs.appData = L"C:\\Users\\u\\AppData\\Roaming";
    inputs.programFilesX86 = L"C:\\Program Files (x86)";
    EXPECT_EQ(DefaultInstallFolder(inputs), L"C:\\Program Files (x86)\\TarvikQuill");
    inputs.consoleUserIsAdmin = inputs.processIsAdmin = true;
    EXPECT_EQ(DefaultInstallFolder(inputs), L"C:\\Users\\u\\AppData\\Roaming\\norvale\\TarvikQuill");
    inputs.appData.clear();
    EXPECT_EQ(DefaultInstallFolder(inputs), L"C:\\Program Files (x86)\\TarvikQuill");
    inputs.existingFolder = L"D:\\Apps\\V";
    EXPECT_EQ(DefaultInstallFolder(inputs), L"C:\\Program Files (x86)\\TarvikQuill") << "its uninstaller is gone";
    inputs.existingUninstallerPresent = true;
    EXPECT_EQ(DefaultInstallFolder(inputs), L"D:\\Apps\\V");
    EXPECT_EQ(JoinFolder(L"C:\\", L"x"), L"C:\\x");
}

TEST(InstallFolders, SameFolderAndTheOverrideSwitch)
{
    TestSupport::TempDir dir;
    EXPECT_TRUE(IsSameFolder(dir.Path(), dir.Path()));
    EXPECT_TRUE(IsSameFolder(dir.Path(), dir.Path() + L"\\"));
    EXPECT_FALSE(IsSameFolder(dir.Path(), dir / L"sub"));
    EXPECT_FALSE(IsSameFolder(L"", dir.Path()));

    EXPECT_FALSE(KeepsExistingVersion(dir.Path(), dir.Path())) << "no set.ini: the old version goes";
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"set.ini", "[Uninstall]\r\nIsOverride=False\r\n"));
    EXPECT_FALSE(KeepsExistingVersion(dir.Path(), dir.Path()));
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"set.ini", "[Uninstall]\r\nIsOverride=false\r\n"));
    EXPECT_TRUE(KeepsExistingVersion(dir.Path(), dir.Path()));
    EXPECT_FALSE(KeepsExistingVersion(dir.Path(), dir / L"elsewhere"));
}

// The check before an install tells whether the folder can be made and leaves none made.
TEST(InstallFolders, AUsableFolderIsToldWithoutMakingIt)
{
    TestSupport::TempDir dir;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"a file", "x"));
    const struct {
        std::wstring path;
        bool usable;
    } cases[] = {
        { dir / L"new\\deeper\\Vellumora", true },
        { dir / L"new\\trailing\\", true },
        { dir.Path(), true },
        { dir / L"a file\\under it", false },
        { L"relative\\Vellumora", false },
        { L"", false },
        { dir / std::wstring(MAX_PATH, L'x'), false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utils::WideToMultiByte(c.path, CP_UTF8));
        EXPECT_EQ(IsUsableInstallFolder(c.path), c.usable);
    }
    EXPECT_FALSE(Utils::PathExists(dir / L"new")) << "nothing made is left";
    EXPECT_TRUE(Utils::PathExists(dir.Path())) << "what was there stays";
}

TEST(InstallRecord, RegistryAndStateFiles)
{
    using Utils::RecordRoot;
    RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    TestSupport::TempDir dir;
    const auto value = [](const wchar_t* name) {
        DWORD type = 0;
        std::wstring text = L"<absent>";
        Utils::ReadRegistryString(RecordRoot::User, name, type, text);
        return text;
    };
    const Config::InstallScope user = Config::InstallScope::User;
    EXPECT_TRUE(RecordInstallation(user, { dir.Path(), L"", L"1.0.0" }));
    EXPECT_EQ(Utils::ReadRecordedInstallation(RecordRoot::User).installPath, dir.Path());
    EXPECT_EQ(value(L"UnInstallEp"), L"<absent>") << "no uninstaller file, no value";
    EXPECT_EQ(value(L"InstallVersion"), L"1.0.0");

    // An update that reports no version leaves none behind.
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"uninst.ep", "x"));
    EXPECT_TRUE(RecordInstallation(user, { dir.Path(), L"", L"" }));
    EXPECT_EQ(value(L"UnInstallEp"), dir / L"uninst.ep");
    EXPECT_EQ(value(L"InstallVersion"), L"<absent>");
    RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);

    // The analytics file is replaced whole (never written through a link): what else it holds stays.
    ASSERT_TRUE(Utils::EnsureDirectoryPath(AnalyticsFolder()));
    ASSERT_TRUE(TestSupport::WriteFileBytes(AnalyticsFolder() + L"\\TKSensorsAnalytics.ini",
        "[Other]\r\nUpdateTime=theirs\r\n[init]\r\nFirst=1\r\nupdatetime=old\r\nLast=2\r\n[Later]\r\nk=v"));
    WriteStateFiles(dir.Path(), L"VellumoraInstaller.exe");
    wchar_t text[260] = {};
    const std::wstring setIni = dir / L"set.ini";
    GetPrivateProfileStringW(L"Install", L"APPStore", L"", text, 260, setIni.c_str());
    EXPECT_STREQ(text, L"VellumoraInstaller.exe");
    GetPrivateProfileStringW(L"Install", L"AppName", L"", text, 260, setIni.c_str());
    EXPECT_STREQ(text, L"Vellumora");
    GetPrivateProfileStringW(L"Install", L"DeviceID", L"", text, 260, setIni.c_str());
    EXPECT_EQ(std::wstring(text).size(), 32u);
    GetPrivateProfileStringW(L"Install", L"TKSensorsAnalyticsIni", L"", text, 260, setIni.c_str());
    const std::wstring analytics = text;
    EXPECT_EQ(analytics, AnalyticsFolder() + L"\\TKSensorsAnalytics.ini");
    GetPrivateProfileStringW(L"Init", L"UpdateTime", L"", text, 260, analytics.c_str());
    EXPECT_TRUE(
        std::regex_match(Utils::WideToMultiByte(text, CP_UTF8), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")));
    const std::string analyticsText = TestSupport::ReadFileBytes(analytics);
    EXPECT_EQ(analyticsText.rfind("[Other]\r\nUpdateTime=theirs\r\n[init]\r\nFirst=1\r\nUpdateTime=", 0), 0u)
        << analyticsText;
    const std::string rest = "\r\nLast=2\r\n[Later]\r\nk=v";
    EXPECT_EQ(analyticsText.find(rest), analyticsText.size() - rest.size()) << analyticsText;

    // No per-user data folder (a bare environment): no analytics file, and none in a shared folder.
    TestSupport::TempDir bare;
    std::vector<wchar_t> appData(32768);
    appData.resize(::GetEnvironmentVariableW(L"APPDATA", appData.data(), 32768));
    ::SetEnvironmentVariableW(L"APPDATA", nullptr);
    EXPECT_EQ(AnalyticsFolder(), L"");
    WriteStateFiles(bare.Path(), L"VellumoraInstaller.exe");
    ::SetEnvironmentVariableW(L"APPDATA", std::wstring(appData.begin(), appData.end()).c_str());
    GetPrivateProfileStringW(L"Install", L"TKSensorsAnalyticsIni", L"", text, 260, (bare / L"set.ini").c_str());
    EXPECT_STREQ(text, L"");
}

// An update stays where its installation was found; only the system account's own record, which
// no user's run reads, moves to the machine's.
TEST(InstallRecord, AnUpdateIsRecordedWhereTheInstallationWasFound)
{
    using Config::InstallScope;
    const struct {
        bool present;
        InstallScope found, run;
        bool systemAccount;
        InstallScope recorded;
        const wchar_t* machineFolder = L""; // the machine record's own installation
    } cases[] = {
        { false, InstallScope::User, InstallScope::Machine, false, InstallScope::Machine },
        { true, InstallScope::Machine, InstallScope::User, false, InstallScope::Machine },
        { true, InstallScope::User, InstallScope::Machine, false, InstallScope::User },
        { true, InstallScope::User, InstallScope::Machine, true, InstallScope::Machine },
        { true, InstallScope::User, InstallScope::Machine, true, InstallScope::Machine, L"c:\\APP" },
        { true, InstallScope::User, InstallScope::Machine, true, InstallScope::User, L"D:\\other" },
        { true, InstallScope::User, InstallScope::User, true, InstallScope::User },
    };
    for (const auto& c : cases) {
        ExistingInstallation existing;
        existing.present = c.present;
        existing.scope = c.found;
        existing.folder = L"C:\\app";
        existing.machineFolder = c.machineFolder;
        EXPECT_EQ(ScopeToRecord(existing, c.run, c.systemAccount), c.recorded)
            << c.present << Config::ScopeName(c.found) << Config::ScopeName(c.run) << c.systemAccount
            << c.machineFolder;
    }
}

TEST(InstallVerdict, EachVerdictIsItsOwnExitCode)
{
    std::set<int> codes;
    for (const Session::VerdictRow& row : Session::kVerdicts) {
        EXPECT_EQ(&Session::RowOf(row.verdict), &row) << "one row per verdict";
        EXPECT_TRUE(codes.insert(row.exitCode).second || row.exitCode == 0) << row.exitCode;
    }
    EXPECT_EQ(Session::ExitCodeOf(Session::Verdict::Removed), 0);
    EXPECT_EQ(Session::ExitCodeOf(Session::Verdict::PackageFailed), 9);
    EXPECT_EQ(Session::ExitCodeOf(Session::Verdict::RemovalFailed), 6);
}
