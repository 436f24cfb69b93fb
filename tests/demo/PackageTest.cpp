#include <gtest/gtest.h>

#include "DemoHelpers.h"
#include "InstallRecord.h"
#include "Shortcut.h"
#include "support/TempDir.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

using namespace DemoTest;

namespace {

// Runs the package and checks the parts of the protocol every successful run must have.
std::vector<std::string> InstallOk(const std::wstring& version, const InstallArgs& args)
{
    const auto result = RunPackage(version, args);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    const auto lines = Lines(result.output);
    EXPECT_FALSE(lines.empty());
    if (lines.empty()) {
        return lines;
    }
    EXPECT_EQ(lines.front(), "Encode=UTF8");
    EXPECT_EQ(lines.back(), "State=Success") << result.output;
    EXPECT_FALSE(HasLineStarting(lines, "Error=")) << result.output;
    return lines;
}

void RemoveShortcuts()
{
    ::DeleteFileW((Demo::DesktopFolder() + L"\\" + Demo::kShortcutName).c_str());
    ::DeleteFileW((Demo::QuickLaunchFolder() + L"\\" + Demo::kShortcutName).c_str());
}

} // namespace

TEST(DemoPackage, InstallsIntoAFolderWithSpacesAndReportsEveryStep)
{
    TestSupport::TempDir temp(L"demo pkg");
    const std::wstring folder = temp / L"Program Files\\Tarvik Quill";
    InstallArgs args;
    args.language = L"zh-CN";
    args.folder = folder;
    const auto lines = InstallOk(L"1.0", args);

    const auto progress = ProgressValues(lines);
    ASSERT_GE(progress.size(), 4u);
    for (std::size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GT(progress[i], progress[i - 1]) << "progress must only grow";
    }
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_EQ(Value(lines, "InstPath"), Utf8(folder));
    EXPECT_EQ(Value(lines, "ExePath"), Utf8(folder + L"\\Quorvel.exe"));
    EXPECT_EQ(Value(lines, "UninstEp"), Utf8(folder + L"\\uninst.ep"));
    EXPECT_EQ(Value(lines, "StartupStyle"), "UserStartup");
    EXPECT_EQ(Value(lines, "InstallVersion"), "1.0.0");

    EXPECT_EQ(FileVersion(folder + L"\\Quorvel.exe"), L"1.0");
    EXPECT_TRUE(Exists(folder + L"\\uninst.ep"));
    EXPECT_EQ(IniValue(folder + L"\\config.ini", L"Install", L"Language"), L"zh-CN");
    const auto record = Demo::ReadInstallRecord(folder + L"\\" + Demo::kInstallRecordName);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->version, L"1.0");
    EXPECT_EQ(record->files, (std::vector<std::wstring> { L"Quorvel.exe", L"uninst.ep", L"config.ini" }));
    EXPECT_TRUE(record->shortcuts.empty()) << "no shortcut was asked for";
}

TEST(DemoPackage, SecondVersionCarriesItsOwnProgramAndDefaultLanguage)
{
    TestSupport::TempDir temp(L"demo_pkg");
    InstallArgs args;
    args.folder = temp / L"v2";
    args.instCmd = L"-stepms=0 -startup=AutoStartup -isoverride=false";
    const auto lines = InstallOk(L"2.0", args);
    EXPECT_EQ(Value(lines, "InstallVersion"), "2.0.0");
    EXPECT_EQ(Value(lines, "StartupStyle"), "AutoStartup");
    EXPECT_EQ(FileVersion(args.folder + L"\\Quorvel.exe"), L"2.0");
    EXPECT_EQ(IniValue(args.folder + L"\\config.ini", L"Install", L"Language"), L"en-US");
    EXPECT_EQ(IniValue(args.folder + L"\\set.ini", L"Uninstall", L"IsOverride"), L"false");
    const auto record = Demo::ReadInstallRecord(args.folder + L"\\" + Demo::kInstallRecordName);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->files.size(), 3u) << "set.ini is the installer's, not the package's";
}

TEST(DemoPackage, FolderComesFromDThenInstdirThenTheDefault)
{
    TestSupport::TempDir temp(L"demo_pkg");
    const std::wstring chosen = temp / L"chosen dir";
    const std::wstring other = temp / L"other";
    InstallArgs args;
    args.instCmd = L"-stepms=0 -instdir=\"" + other + L"\"";
    const std::wstring withD = InstallerCommandLine(PackagePath(L"1.0"), args) + L" /D=" + chosen;
    auto lines = Lines(TestSupport::RunProcess(withD, 20000).output);
    EXPECT_EQ(Value(lines, "InstPath"), Utf8(chosen));
    EXPECT_TRUE(Exists(chosen + L"\\Quorvel.exe"));
    EXPECT_FALSE(Exists(other));

    lines = InstallOk(L"1.0", args);
    EXPECT_EQ(Value(lines, "InstPath"), Utf8(other));
    EXPECT_TRUE(Exists(other + L"\\Quorvel.exe"));

    lines = InstallOk(L"1.0", InstallArgs {});
    const std::string defaultFolder = Value(lines, "InstPath");
    EXPECT_NE(defaultFolder.find("Program Files"), std::string::npos) << defaultFolder;
    EXPECT_EQ(defaultFolder.substr(defaultFolder.size() - 12), "\\TarvikQuill");
    const auto removed = Lines(RunUninstaller(Utils::MultiByteToWide(defaultFolder, CP_UTF8)).output);
    EXPECT_EQ(removed.back(), "State=Success");
}

TEST(DemoPackage, MakesOnlyTheShortcutsAskedForAndRecordsThem)
{
    Demo::ComScope com;
    ASSERT_TRUE(com.ok());
    RemoveShortcuts();
    Utils::ScopeExit cleanup([] { RemoveShortcuts(); });
    const std::wstring desktopLink = Demo::DesktopFolder() + L"\\" + Demo::kShortcutName;
    const std::wstring quickLaunchLink = Demo::QuickLaunchFolder() + L"\\" + Demo::kShortcutName;

    TestSupport::TempDir temp(L"demo_pkg");
    InstallArgs args;
    args.folder = temp / L"app";
    args.dsc = true;
    InstallOk(L"1.0", args);
    EXPECT_TRUE(Exists(desktopLink));
    EXPECT_FALSE(Exists(quickLaunchLink));
    EXPECT_EQ(Demo::ShortcutTarget(desktopLink), args.folder + L"\\Quorvel.exe");

    args.dsc = false;
    args.ssc = true;
    InstallOk(L"1.0", args);
    EXPECT_TRUE(Exists(quickLaunchLink));
    EXPECT_EQ(Demo::ShortcutTarget(quickLaunchLink), args.folder + L"\\Quorvel.exe");
    const auto record = Demo::ReadInstallRecord(args.folder + L"\\" + Demo::kInstallRecordName);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->shortcuts, (std::vector<std::wstring> { desktopLink, quickLaunchLink }))
        << "installing over an installation keeps what it installed on record";

    const auto lines = Lines(RunUninstaller(args.folder).output);
    EXPECT_EQ(lines.back(), "State=Success");
    EXPECT_FALSE(Exists(desktopLink));
    EXPECT_FALSE(Exists(quickLaunchLink));
}

// Failure paths: each ends with one "Error=" line, no verdict of success, and leaves no
// installed program behind.
class DemoPackageFailure : public ::testing::Test {
protected:
    std::vector<std::string> Fail(const InstallArgs& args)
    {
        const auto result = RunPackage(L"1.0", args);
        EXPECT_FALSE(result.timedOut);
        const auto lines = Lines(result.output);
        EXPECT_FALSE(lines.empty());
        if (!lines.empty()) {
            EXPECT_EQ(lines.front(), "Encode=UTF8");
            EXPECT_EQ(lines.back().compare(0, 6, "Error="), 0) << result.output;
        }
        EXPECT_FALSE(HasLineStarting(lines, "State=")) << result.output;
        EXPECT_NE(result.exitCode, 0u);
        return lines;
    }

    TestSupport::TempDir m_temp { L"demo_fail" };
};

TEST_F(DemoPackageFailure, FailsOnPurposeWithAChineseReasonInUtf8)
{
    InstallArgs args;
    args.folder = m_temp / L"app";
    args.instCmd = L"-stepms=0 -fail=磁盘空间不足";
    const auto lines = Fail(args);
    EXPECT_EQ(lines.back(), Utf8(L"Error=磁盘空间不足"));
    EXPECT_FALSE(Exists(args.folder + L"\\Quorvel.exe"));
}

TEST_F(DemoPackageFailure, AFileItCannotWriteIsReportedAndWhatItWroteIsTakenBack)
{
    InstallArgs args;
    args.folder = m_temp / L"app";
    ASSERT_TRUE(::CreateDirectoryW(args.folder.c_str(), nullptr));
    FileLock lock(args.folder + L"\\config.ini");
    ASSERT_TRUE(lock.locked());
    const auto lines = Fail(args);
    EXPECT_NE(lines.back().find(Utf8(args.folder + L"\\config.ini")), std::string::npos) << lines.back();
    EXPECT_FALSE(Exists(args.folder + L"\\Quorvel.exe"));
    EXPECT_FALSE(Exists(args.folder + L"\\uninst.ep"));
    EXPECT_FALSE(Exists(args.folder + L"\\" + Demo::kInstallRecordName));
}

TEST_F(DemoPackageFailure, AFolderItCannotCreateIsReported)
{
    ASSERT_TRUE(TestSupport::WriteFileBytes(m_temp / L"plain file", "not a folder"));
    InstallArgs args;
    args.folder = m_temp / L"plain file\\app";
    const auto lines = Fail(args);
    EXPECT_NE(lines.back().find(Utf8(args.folder)), std::string::npos) << lines.back();
}

TEST(DemoPackageSize, APackagePaddedPastTwentyMiBStillInstalls)
{
    // Bytes after the last section of a program are never loaded, so a padded copy is a
    // large package for the two-range download that behaves like the original.
    TestSupport::TempDir temp(L"demo_big");
    std::string bytes = TestSupport::ReadFileBytes(PackagePath(L"2.0"));
    ASSERT_FALSE(bytes.empty());
    bytes.resize(21 * 1024 * 1024, '\0');
    const std::wstring big = temp / L"__Package_Vellumora.exe";
    ASSERT_TRUE(TestSupport::WriteFileBytes(big, bytes));
    InstallArgs args;
    args.folder = temp / L"app";
    const auto lines = Lines(TestSupport::RunProcess(InstallerCommandLine(big, args), 20000).output);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "State=Success");
    EXPECT_EQ(FileVersion(args.folder + L"\\Quorvel.exe"), L"2.0");
}
