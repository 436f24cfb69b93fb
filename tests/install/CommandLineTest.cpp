#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "StageHarness.h"
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

// The package reads "-instdir=" by Windows' argument rules and takes "/D=" raw to the end of
// the line; both must carry the folder exactly, whatever it ends in or holds.
TEST(PackageCommandLine, CarriesTheFolderExactly)
{
    for (const std::wstring folder :
        { L"D:\\", L"C:\\Apps\\Vellumora\\", L"C:\\Program Files (x86)\\Vellumora", L"C:\\a\"b", L"C:\\x\\\\" }) {
        SCOPED_TRACE(Utils::WideToMultiByte(folder, CP_UTF8));
        InstallTest::EventLog log;
        CInstaller installer(log.Callback(), L"\"C:\\p.exe\"", folder, true, true, true);
        const std::wstring line = installer.BuildCommandLine();
        const std::vector<std::wstring> argv = ReadBack(line);
        ASSERT_GE(argv.size(), 2u);
        EXPECT_EQ(argv[0], L"C:\\p.exe");
        EXPECT_NE(std::find(argv.begin(), argv.end(), L"-instdir=" + folder), argv.end())
            << Utils::WideToMultiByte(line, CP_UTF8);
        EXPECT_TRUE(line.ends_with(L" /D=" + folder)) << "the last argument, raw";
    }
}
