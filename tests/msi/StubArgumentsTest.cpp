#include <gtest/gtest.h>

#include <map>
#include <string>

#include "msi/StubArguments.h"

namespace {

using Msi::StubAction;

Msi::StubArguments Build(StubAction action, const std::map<std::wstring, std::wstring>& properties)
{
    return Msi::BuildStubArguments(action, [&](const wchar_t* name) {
        const auto found = properties.find(name);
        return found == properties.end() ? std::wstring() : found->second;
    });
}

TEST(StubArgumentsTest, SetPropertiesBecomeQuotedOptionsAndUnsetOnesNone)
{
    const struct {
        StubAction action;
        std::map<std::wstring, std::wstring> properties;
        std::wstring arguments;
    } cases[] = {
        { StubAction::Install, {}, L"-quiet=true -scope=machine" },
        { StubAction::Install, { { L"DOWNLOADURL", L"" }, { L"LIMITRATE", L"" } }, L"-quiet=true -scope=machine" },
        { StubAction::Install,
            { { L"DOWNLOADURL", L"http://h/p/0123456789abcdef0123456789abcdef/x.exe" }, { L"LIMITRATE", L"512" },
                { L"LOG", L"C:\\Windows\\Logs\\v.log" } },
            L"-quiet=true -scope=machine -downloadurl=http://h/p/0123456789abcdef0123456789abcdef/x.exe "
            L"-limitrate=512 -log=C:\\Windows\\Logs\\v.log" },
        // Blanks and quotes stay inside their one argument.
        { StubAction::Install, { { L"MIRRORURLS", L"http://a/m.exe; http://b/m.exe" }, { L"PROXY", L"p\"x:8080" } },
            L"-quiet=true -scope=machine \"-mirrorurls=http://a/m.exe; http://b/m.exe\" \"-proxy=p\\\"x:8080\"" },
        { StubAction::Install, { { L"RESULTFILE", L"C:\\Logs\\dir with blank\\" } },
            L"-quiet=true -scope=machine \"-resultfile=C:\\Logs\\dir with blank\\\\\"" },
        // The removal takes what a removal uses, not the download's addresses.
        { StubAction::Remove,
            { { L"DOWNLOADURL", L"http://h/x.exe" }, { L"LIMITRATE", L"512" }, { L"LOG", L"C:\\r.log" },
                { L"RESULTFILE", L"C:\\r.json" }, { L"PROXY", L"p:1" } },
            L"-uninstall=true -quiet=true -scope=machine -proxy=p:1 -log=C:\\r.log -resultfile=C:\\r.json" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const Msi::StubArguments built = Build(c.action, c.properties);
        EXPECT_TRUE(built.ok);
        EXPECT_EQ(built.arguments, c.arguments);
    }
}

TEST(StubArgumentsTest, AValueWithAControlCharacterIsRefusedByName)
{
    for (const wchar_t* value : { L"http://h/x.exe\n-instcmd=evil", L"a\rb", L"a\tb", L"a\x7f" }) {
        const Msi::StubArguments built
            = Build(StubAction::Install, { { L"LOG", L"C:\\a.log" }, { L"DOWNLOADURL", value } });
        EXPECT_FALSE(built.ok);
        EXPECT_EQ(built.refusedProperty, L"DOWNLOADURL");
        EXPECT_EQ(built.arguments, L"");
    }
}

TEST(StubArgumentsTest, ActionDataComesBackAsItWentAndMalformedDataIsRefused)
{
    const Msi::ActionData data { L"C:\\Program Files (x86)\\TarvikSoft\\Vellumora Installer\\VellumoraInstaller.exe",
        L"%WINDIR%\\Logs\\v.log", L"-quiet=true -scope=machine \"-mirrorurls=a; b\"" };
    Msi::ActionData back;
    ASSERT_TRUE(Msi::DecodeActionData(Msi::EncodeActionData(data), back));
    EXPECT_EQ(back.stubPath, data.stubPath);
    EXPECT_EQ(back.logOption, data.logOption);
    EXPECT_EQ(back.arguments, data.arguments);

    Msi::ActionData untouched { L"C:\\kept.exe", L"", L"" };
    for (const wchar_t* text : { L"", L"C:\\a.exe", L"C:\\a.exe\n-quiet=true", L"relative.exe\n\n-quiet=true",
             L"\\\\server\\share\\a.exe\n\n-quiet=true", L"C:\\a.exe\n\n-quiet=true\n-more" }) {
        EXPECT_FALSE(Msi::DecodeActionData(text, untouched)) << testing::PrintToString(std::wstring(text));
        EXPECT_EQ(untouched.stubPath, L"C:\\kept.exe");
    }
}

} // namespace
