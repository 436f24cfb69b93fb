#include <gtest/gtest.h>

#include "StageHarness.h"
#include "install/Installer.h"
#include "install/LineAssembler.h"
#include "install/LineProtocol.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"

using InstallTest::EventLog;

TEST(LineAssembler, JoinsLinesAcrossChunksAtTheByteLevel)
{
    LineAssembler assembler;
    EXPECT_TRUE(assembler.Feed("State=Suc").empty());
    EXPECT_EQ(assembler.Feed("cess\r\nMessage=\xE5"), (std::vector<std::string> { "State=Success\r" }));
    EXPECT_EQ(assembler.Feed("\xAE\x89\n\nlast"), (std::vector<std::string> { "Message=\xE5\xAE\x89", "" }));
    EXPECT_EQ(assembler.Finish(), std::optional<std::string>("last"));
    EXPECT_EQ(assembler.Finish(), std::nullopt) << "nothing pending after the end";

    EXPECT_TRUE(assembler.Feed("").empty());
    EXPECT_EQ(assembler.Feed(std::string("A=1\0junk\nB=2\n", 13)), (std::vector<std::string> { "A=1", "B=2" }));
}

TEST(LineAssembler, KeepsOnlyTheHeadOfAHugeLine)
{
    LineAssembler assembler;
    const std::string block(4096, 'm');
    for (int i = 0; i < 256; ++i) {
        ASSERT_TRUE(assembler.Feed(block).empty());
    }
    const auto lines = assembler.Feed("tail\nState=Fail\n");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), LineAssembler::kMaxLineBytes);
    EXPECT_EQ(lines[1], "State=Fail");
}

TEST(LineProtocol, ReadsValuesTheWayTheFormatsDo)
{
    using namespace LineProtocol;
    EXPECT_EQ(SplitLines(L"a\r\nb\n\nc"), (std::vector<std::wstring_view> { L"a\r", L"b", L"", L"c" }));
    EXPECT_TRUE(SplitLines(L"").empty());
    EXPECT_EQ(SplitLines(L"a\n").size(), 1u) << "an empty remainder is no line";

    EXPECT_DOUBLE_EQ(NumberValue(L" 0.5\r"), 0.5);
    EXPECT_DOUBLE_EQ(NumberValue(L"1e-1x"), 0.1);
    EXPECT_DOUBLE_EQ(NumberValue(L"half"), 0.0);
    EXPECT_DOUBLE_EQ(NumberValue(L"nan"), 0.0);
    EXPECT_DOUBLE_EQ(NumberValue(L"1e999"), 0.0);

    std::wstring_view text = L"-1";
    EXPECT_EQ(IntegerValue(text), std::optional<std::uint32_t>(4294967295u));
    text = L"4294967297";
    EXPECT_EQ(IntegerValue(text), std::optional<std::uint32_t>(1u)) << "kept to 32 bits";
    text = L"+x";
    EXPECT_EQ(IntegerValue(text), std::nullopt);

    int parts[3] = { 7, 8, 9 };
    ReadVersion(L"2.x.5", parts);
    EXPECT_EQ((std::vector<int> { parts[0], parts[1], parts[2] }), (std::vector<int> { 2, 8, 9 }));
    ReadVersion(L" 10. 11.12\r", parts);
    EXPECT_EQ((std::vector<int> { parts[0], parts[1], parts[2] }), (std::vector<int> { 10, 11, 12 }));

    EXPECT_EQ(CodePageNumber(L"936"), std::optional<UINT>(936));
    EXPECT_EQ(CodePageNumber(L"65001"), std::optional<UINT>(65001));
    EXPECT_EQ(CodePageNumber(L"0"), std::optional<UINT>(0));
    for (const wchar_t* bad : { L"", L"936x", L"-936", L"99999", L"4294968232", L"12345" }) {
        EXPECT_EQ(CodePageNumber(bad), std::nullopt) << bad;
    }

    EXPECT_EQ(TextValue(std::wstring(771, L'v')).size(), 771u);
    EXPECT_EQ(TextValue(std::wstring(772, L'v')), L"");
}

TEST(ParseChunk, LastVerdictOfAChunkWinsAndKeysMatchExactly)
{
    EventLog log;
    CInstaller installer(log.Callback(), L"p.exe", L"");
    EXPECT_EQ(installer.Parse(L"State=Fail\r\nState=Success\r\n"), LineProtocol::kVerdictSuccess);
    EXPECT_EQ(installer.Parse(L"State=Success\nState=Unknown\nProgress=0.1"), LineProtocol::kVerdictSuccess);
    EXPECT_EQ(installer.Parse(L"Error=a\nProgress=0.2\n"), LineProtocol::kVerdictFailure);
    EXPECT_EQ(installer.Parse(L"UninstExePath=u\nstate=Fail\nERROR=x\n"), LineProtocol::kNoVerdict);
    const std::vector<StageEvent> expected {
        { IST_CODE_FAIL, 0.0, L"安装包安装失败" },
        { IST_CODE_SUCCESS, 0.0, L"" },
        { IST_CODE_SUCCESS, 0.0, L"" },
        { IST_CODE_PROGRESS, 0.1, L"" },
        { IST_CODE_FAIL, 1000.0, L"a" },
        { IST_CODE_PROGRESS, 0.2, L"" },
        { IST_CODE_UNINST_EXE, 0.0, L"u" },
    };
    EXPECT_EQ(log.Events(), expected);

    EventLog uninstallLog;
    CUninstaller uninstaller(uninstallLog.Callback(), L"u.exe", L"C:\\old");
    EXPECT_EQ(uninstaller.Parse(L"Error=e\nState=Success\n"), LineProtocol::kVerdictSuccess);

    // "Encode=" means the same to both readers; each case starts from the one before.
    struct EncodeCase {
        std::wstring lines;
        int codePage;
    };
    const EncodeCase encodeCases[] = {
        { L"Encode=936\n", 936 },
        { L"Encode= UTF8 \r\n", 65001 },
        { L"Encode=utf8\nEncode=\nEncode=" + std::wstring(800, L'1') + L"\n", 65001 }, // unknown: kept
        { L"Encode=ACP\n", 0 },
        { L"Encode=65001\n", 65001 },
        { L"Encode=UTF8\nEncode=936\n", 936 },
        { L"Encode=0\n", 0 },
    };
    for (const auto& c : encodeCases) {
        installer.Parse(c.lines);
        uninstaller.Parse(c.lines);
        EXPECT_EQ(installer.CodePage(), c.codePage) << "package: " << testing::PrintToString(c.lines);
        EXPECT_EQ(uninstaller.CodePage(), c.codePage) << "uninstaller: " << testing::PrintToString(c.lines);
    }
}
