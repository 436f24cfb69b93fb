#include <gtest/gtest.h>

#include "utils/ModuleVersion.h"
#include "utils/Processes.h"
#include "utils/Text.h"

#include <shellapi.h>

using namespace Utils;

TEST(Text, TrimsChosenEndsOnly)
{
    EXPECT_EQ(Trim(L" \t a b \r\n"), L"a b");
    EXPECT_EQ(TrimLeft(L"  a "), L"a ");
    EXPECT_EQ(TrimRight(L"  a \r"), L"  a");
    EXPECT_EQ(Trim(L" \r\n "), L"");
    EXPECT_EQ(Trim(L"xxaxx", L"x"), L"a");
    EXPECT_EQ(Trim(std::string("  ab\t")), "ab");
}

TEST(Text, CodePageRoundTripsAndFailuresGiveEmptyText)
{
    const std::string gbk = "\xD6\xD0\xCE\xC4"; // 中文 in code page 936
    EXPECT_EQ(MultiByteToWide(gbk, 936), L"\u4E2D\u6587");
    EXPECT_EQ(WideToMultiByte(L"\u4E2D\u6587", 936), gbk);
    EXPECT_EQ(MultiByteToWide("\xE4\xB8\xAD", CP_UTF8), L"\u4E2D");
    EXPECT_EQ(MultiByteToWide("", CP_UTF8), L"");
    EXPECT_EQ(MultiByteToWide("abc", 99999), L""); // no such code page
}

TEST(Text, Utf8ToWideIsStrictAndLimitedToTheBasicPlane)
{
    EXPECT_EQ(Utf8ToWide("A\xC3\xA9\xE4\xB8\xAD"), L"A\u00E9\u4E2D");
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(Utf8ToWide("ok \xF0\x9F\x98\x80"), L""); // U+1F600
    EXPECT_EQ(Utf8ToWide("\xE4\xB8"), L""); // cut short
    EXPECT_EQ(Utf8ToWide("\xC0\xAF"), L""); // overlong
    EXPECT_EQ(Utf8ToWide("\xED\xA0\x80"), L""); // surrogate
    EXPECT_EQ(Utf8ToWide("a\x80"), L""); // stray continuation
}

TEST(Text, ReplaceAllReplacesEveryOccurrenceWithoutRescanning)
{
    EXPECT_EQ(ReplaceAll(L"a${X}b${X}", L"${X}", L"q"), L"aqbq");
    EXPECT_EQ(ReplaceAll(L"aaa", L"a", L"aa"), L"aaaaaa");
    EXPECT_EQ(ReplaceAll(L"abc", L"", L"x"), L"abc");
}

TEST(Text, QuotedArgumentsSurviveTheCommandLineSplit)
{
    const std::wstring arguments[] = { L"plain", L"with space", L"", L"trailing\\", L"C:\\dir with space\\",
        L"say \"hi\"", L"a\\\\\"b", L"-instcmd=-a -b" };
    std::wstring line = L"prog.exe";
    for (const auto& argument : arguments) {
        line += L" " + Utils::QuoteCommandLineArgument(argument);
    }
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(line.c_str(), &count);
    ASSERT_NE(argv, nullptr);
    ASSERT_EQ(count, 1 + static_cast<int>(std::size(arguments)));
    for (int i = 1; i < count; ++i) {
        EXPECT_EQ(argv[i], arguments[i - 1]);
    }
    LocalFree(argv);
}

// The version floor: a recorded "InstallVersion" against a file version, part by part.
TEST(Text, VersionsCompareNumericallyPartByPart)
{
    const struct {
        const wchar_t* a;
        const wchar_t* b;
        int order; // of a against b
    } cases[] = {
        { L"1.10", L"1.9", 1 },
        { L"1.0", L"1.0.0.0", 0 },
        { L" 2.0.0 ", L"2.0.0.0", 0 },
        { L"1.0.0.0", L"2.0.0", -1 },
        { L"2.0.0.1", L"2.0.0", 1 },
        { L"4294967295", L"4294967294.9", 1 },
    };
    for (const auto& c : cases) {
        const auto a = ParseVersion(c.a);
        const auto b = ParseVersion(c.b);
        ASSERT_TRUE(a && b) << c.a << L" " << c.b;
        EXPECT_EQ(CompareVersions(*a, *b), c.order) << c.a << L" against " << c.b;
        EXPECT_EQ(CompareVersions(*b, *a), -c.order);
    }
    for (const wchar_t* text : { L"", L"1.", L".1", L"1..2", L"1.0-beta", L"v2", L"4294967296", L"1 .0" }) {
        EXPECT_FALSE(ParseVersion(text)) << text;
    }
}
