#include <gtest/gtest.h>

#include "CommandLine.h"
#include "InstallRecord.h"

using Demo::CommandLine;

TEST(DemoCommandLine, ReadsTheInstallersLineWithTheFolderTakingTheRest)
{
    const CommandLine line(
        LR"("C:\dl\__Package_Vellumora.exe" /S -console=show -version=1.0.0 -adminact=true )"
        LR"(-authorizationact=false -dsc=true -ssc=false -inslang="zh-CN" -stepms=0 -fail )"
        LR"(-instdir="C:\Program Files (x86)\Tarvik Quill\" /D=C:\Program Files (x86)\Tarvik Quill  )",
        L"/D=");
    EXPECT_TRUE(line.Has(L"/S"));
    EXPECT_EQ(line.Get(L"-version"), L"1.0.0");
    EXPECT_TRUE(line.IsTrue(L"-adminact"));
    EXPECT_FALSE(line.IsTrue(L"-authorizationact"));
    EXPECT_TRUE(line.IsTrue(L"-dsc"));
    EXPECT_FALSE(line.IsTrue(L"-ssc"));
    EXPECT_EQ(line.Get(L"-inslang"), L"zh-CN");
    EXPECT_EQ(line.Get(L"-stepms"), L"0");
    EXPECT_TRUE(line.Has(L"-fail"));
    EXPECT_EQ(line.Get(L"-fail", L"fallback"), L"");
    EXPECT_EQ(line.Get(L"-missing", L"fallback"), L"fallback");
    // A backslash before the closing quote is a plain backslash here.
    EXPECT_EQ(line.Get(L"-instdir"), LR"(C:\Program Files (x86)\Tarvik Quill\)");
    ASSERT_TRUE(line.Tail());
    EXPECT_EQ(*line.Tail(), LR"(C:\Program Files (x86)\Tarvik Quill)");
}

TEST(DemoCommandLine, TailOptionsAndTheirAbsence)
{
    EXPECT_EQ(*CommandLine(LR"(C:\t\un.exe /S -console=show _?=C:\a b\c)", L"_?=").Tail(), LR"(C:\a b\c)");
    EXPECT_FALSE(CommandLine(LR"(C:\t\un.exe /S -console=show)", L"_?=").Tail());
    // The tail key only counts at the start of an argument.
    EXPECT_FALSE(CommandLine(LR"(p.exe -x=/D=C:\no)", L"/D=").Tail());
    // A quoted tail, as a shell may pass it, still names the folder.
    EXPECT_EQ(*CommandLine(LR"(p.exe "/D=C:\a b")", L"/D=").Tail(), LR"(C:\a b)");
    // The program name, quoted with spaces, is not an option.
    const CommandLine quoted(LR"("C:\x -dsc=true\p.exe" -ssc=true)", L"/D=");
    EXPECT_FALSE(quoted.Has(L"-dsc"));
    EXPECT_TRUE(quoted.IsTrue(L"-ssc"));
    // The first occurrence wins.
    EXPECT_EQ(CommandLine(L"p.exe -startup=AutoStartup -startup=NonStartup", L"").Get(L"-startup"), L"AutoStartup");
}

TEST(DemoCommandLine, FoldersAreNormalised)
{
    EXPECT_EQ(Demo::NormalizeFolder(LR"(  C:\a b\c\\  )"), LR"(C:\a b\c)");
    EXPECT_EQ(Demo::NormalizeFolder(LR"("C:\quoted\")"), LR"(C:\quoted)");
    EXPECT_EQ(Demo::NormalizeFolder(L"C:/mixed/slashes/"), LR"(C:\mixed\slashes)");
    EXPECT_EQ(Demo::NormalizeFolder(LR"(C:\)"), LR"(C:\)");
    EXPECT_EQ(Demo::NormalizeFolder(LR"(C:\a\..\b)"), LR"(C:\b)");
    EXPECT_EQ(Demo::NormalizeFolder(L"   "), L"");
}

TEST(DemoInstallRecord, MergeAddsOnlyWhatIsMissingAndNamesStayInTheFolder)
{
    Demo::InstallRecord into { L"1.0", { L"Quorvel.exe", L"old.dll" }, { LR"(C:\Desktop\Vellumora.lnk)" } };
    const Demo::InstallRecord from { L"2.0", { L"quorvel.exe", L"uninst.ep" }, { LR"(C:\QL\Vellumora.lnk)" } };
    Demo::MergeInstallRecord(into, from);
    EXPECT_EQ(into.version, L"2.0");
    EXPECT_EQ(into.files, (std::vector<std::wstring> { L"Quorvel.exe", L"old.dll", L"uninst.ep" }));
    EXPECT_EQ(into.shortcuts.size(), 2u);

    EXPECT_TRUE(Demo::IsPlainFileName(L"config.ini"));
    for (const wchar_t* bad : { L"", L".", L"..", L"..\\x", L"a/b", L"C:x", LR"(C:\Windows\x.dll)" }) {
        EXPECT_FALSE(Demo::IsPlainFileName(bad)) << bad;
    }
}
