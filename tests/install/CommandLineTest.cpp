#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "StageHarness.h"
#include "install/CommandLine.h"
#include "install/Installer.h"
#include "utils/Text.h"

namespace {

// What a program started with line finds in its arguments.
std::vector<std::wstring> ReadBack(const std::wstring& line)
{
    int count = 0;
    LPWSTR* argv = ::CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> arguments(argv, argv + (argv ? count : 0));
    ::LocalFree(argv);
    return arguments;
}

} // namespace

// Each argument reads back by Windows' rules as it was meant, whatever the folder ends in or
// holds; the raw last one ("/D=", "_?=") is the line's exact end. A folder ending in a
// backslash once escaped the closing quote of "-instdir=" and swallowed "/D=".
TEST(ChildCommandLine, ReadsBackExactlyWhatWasMeant)
{
    const std::wstring program = L"C:\\Program Files\\p.exe";
    for (const std::wstring folder : { L"D:\\", L"C:\\Apps\\Vellumora\\", L"C:\\x\\\\", L"C:\\Program Files (x86)\\V",
             L"C:\\a\"b", L"C:\\a\\\\\"b c\\", L"" }) {
        SCOPED_TRACE(Utils::WideToMultiByte(folder, CP_UTF8));
        const std::wstring line = BuildChildCommandLine(program,
            { ChildArgument::PlainText(L"/S"), ChildArgument::Named(L"-instdir=", folder),
                ChildArgument::PlainText(folder), ChildArgument::AsGiven(L"-x=1  -y") },
            L"/D=" + folder);
        const std::vector<std::wstring> expected { program, L"/S", L"-instdir=" + folder, folder, L"-x=1", L"-y" };
        const std::vector<std::wstring> argv = ReadBack(line);
        ASSERT_GE(argv.size(), expected.size()) << Utils::WideToMultiByte(line, CP_UTF8);
        EXPECT_EQ(std::vector<std::wstring>(argv.begin(), argv.begin() + expected.size()), expected)
            << Utils::WideToMultiByte(line, CP_UTF8);
        EXPECT_TRUE(line.ends_with(L" -y /D=" + folder)) << "last and raw";
    }
    // Plain arguments without blanks or quotes, and options' names, go as written.
    EXPECT_EQ(BuildChildCommandLine(L"u.exe",
                  { ChildArgument::Flag(L"-adminact=", false), ChildArgument::Named(L"-inslang=", L"zh-CN") }),
        L"\"u.exe\" -adminact=false -inslang=\"zh-CN\"");
}

TEST(PackageCommandLine, TellsTheFolderExactly)
{
    InstallTest::EventLog log;
    CInstaller installer(log.Callback(), L"C:\\p.exe", L"D:\\");
    const std::wstring line = installer.BuildCommandLine();
    const std::vector<std::wstring> argv = ReadBack(line);
    ASSERT_EQ(argv.size(), 10u) << Utils::WideToMultiByte(line, CP_UTF8);
    EXPECT_EQ(argv[8], L"-instdir=D:\\");
    EXPECT_EQ(argv[9], L"/D=D:\\") << "the last argument";
}
