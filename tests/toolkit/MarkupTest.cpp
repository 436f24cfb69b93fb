#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/Attributes.h"
#include "toolkit/Button.h"
#include "toolkit/CheckBox.h"
#include "toolkit/Diagnostics.h"
#include "toolkit/ImageRef.h"
#include "toolkit/Label.h"
#include "toolkit/MarkupBuilder.h"
#include "toolkit/PaintManager.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"
#include "toolkit/TextTable.h"

using namespace Toolkit;

namespace {

class DiagnosticCapture {
public:
    DiagnosticCapture()
    {
        SetDiagnosticSink([this](const std::wstring& line) { lines.push_back(line); });
    }
    ~DiagnosticCapture() { SetDiagnosticSink(nullptr); }
    bool Contains(const std::wstring& needle) const
    {
        for (const auto& line : lines) {
            if (line.find(needle) != std::wstring::npos) {
                return true;
            }
        }
        return false;
    }
    std::vector<std::wstring> lines;
};

std::unique_ptr<CControlUI> BuildText(const std::wstring& xml, PaintManager& manager)
{
    std::wstring error;
    auto root = MarkupBuilder::Build(xml.data(), xml.size() * sizeof(wchar_t), manager, nullptr, &error);
    EXPECT_TRUE(root) << std::string(error.begin(), error.end());
    return root;
}

} // namespace

TEST(Attributes, ParseTheLayoutValueForms)
{
    EXPECT_EQ(ParseColor(L"#FF0076FF"), 0xFF0076FFu);
    EXPECT_EQ(ParseColor(L"26003B76"), 0x26003B76u);
    EXPECT_EQ(ParseColor(L"#0076FF"), 0xFF0076FFu);
    const RECT r = ParseRect(L"5,6,7,8");
    EXPECT_EQ(r.left + r.top + r.right + r.bottom, 26);
    const RECT partial = ParseRect(L"3");
    EXPECT_EQ(partial.left, 3);
    EXPECT_EQ(partial.bottom, 0);
    EXPECT_EQ(ParseSize(L"600,400").cy, 400);
    EXPECT_TRUE(ParseBool(L"TRUE"));
    EXPECT_FALSE(ParseBool(L"yes"));
    EXPECT_EQ(ParseInt(L"abc", -1), -1);
    EXPECT_EQ(ParseInt(L"99999999999"), 0x7FFFFFFF);

    const ImageRef image = ImageRef::Parse(L"file='res\\a.png' corner='5,5,5,5' dest='0,2,16,18'");
    EXPECT_EQ(image.file, L"res\\a.png");
    EXPECT_EQ(image.corner.right, 5);
    EXPECT_TRUE(image.hasDest);
    EXPECT_EQ(image.dest.bottom, 18);
    EXPECT_EQ(ImageRef::Parse(L"res\\plain.png").file, L"res\\plain.png");
}

TEST(MarkupBuilder, BuildsTheTreeAppliesDefaultsAndReportsTypos)
{
    DiagnosticCapture diagnostics;
    PaintManager manager;
    auto root = BuildText(LR"(<?xml version="1.0" encoding="UTF-16"?>
<Window size="400,180" caption="0,0,0,30" showshadow="true" shadowcolor="#26003B76" colour="red">
  <Font id="0" name="NoSuchFaceAnywhere" size="14" default="true"/>
  <Default name="Button" value="textcolor=&quot;#FF112233&quot; height=&quot;32&quot;"/>
  <VerticalLayout name="root">
    <Label name="lbl" text="hello" textid="12" userdata="fmt %d" align="center" multiline="true" widht="3"/>
    <Button name="btn" text="ok"/>
    <CheckBox name="cb" selected="true"/>
    <Progress name="prg" value="150"/>
    <Blinker name="nope"><Label name="insideUnknown"/></Blinker>
    <TabLayout name="tabs" selectedid="1"><Control name="p0"/><Control name="p1"/></TabLayout>
  </VerticalLayout>
</Window>)",
        manager);
    ASSERT_TRUE(root);
    manager.AttachRoot(std::move(root));

    EXPECT_EQ(manager.GetInitSize().cx, 400);
    EXPECT_EQ(manager.GetCaptionRect().bottom, 30);
    EXPECT_EQ(manager.GetWindowAttribute(L"ShowShadow"), L"true");
    EXPECT_EQ(manager.GetWindowAttribute(L"shadowcolor"), L"#26003B76");

    auto* label = static_cast<CLabelUI*>(manager.FindControl(L"lbl")->GetInterface(L"Label"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetUserData(), L"fmt %d");
    EXPECT_EQ(label->GetTextStyle() & DT_CENTER, static_cast<UINT>(DT_CENTER));
    EXPECT_EQ(label->GetTextStyle() & DT_SINGLELINE, 0u);

    auto* button = static_cast<CButtonUI*>(manager.FindControl(L"btn")->GetInterface(L"Button"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetTextColor(), 0xFF112233u);
    EXPECT_EQ(button->GetFixedHeight(), 32);
    EXPECT_EQ(manager.FindControl(L"btn")->GetInterface(L"CheckBox"), nullptr);

    auto* check = static_cast<CCheckBoxUI*>(manager.FindControl(L"cb")->GetInterface(L"CheckBox"));
    ASSERT_NE(check, nullptr);
    EXPECT_TRUE(check->IsSelected());
    EXPECT_NE(check->GetInterface(L"Button"), nullptr);

    auto* progress = static_cast<CProgressUI*>(manager.FindControl(L"prg")->GetInterface(L"Progress"));
    EXPECT_EQ(progress->GetValue(), 100) << "values are kept within the range";

    EXPECT_EQ(manager.FindControl(L"nope"), nullptr);
    EXPECT_EQ(manager.FindControl(L"insideUnknown"), nullptr);
    auto* tabs = static_cast<CTabLayoutUI*>(manager.FindControl(L"tabs")->GetInterface(L"TabLayout"));
    EXPECT_EQ(tabs->GetCurSel(), 1);
    EXPECT_FALSE(manager.FindControl(L"p0")->IsVisible());
    EXPECT_TRUE(manager.FindControl(L"p1")->IsVisible());

    EXPECT_TRUE(diagnostics.Contains(L"'widht'"));
    EXPECT_TRUE(diagnostics.Contains(L"'colour'"));
    EXPECT_TRUE(diagnostics.Contains(L"<Blinker>"));
    EXPECT_TRUE(diagnostics.Contains(L"NoSuchFaceAnywhere"));

    const FontInfo* font = manager.Fonts().Info(0);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->face, FontTable::SystemFace()) << "a missing face falls back to the system font";
    EXPECT_TRUE(font->font);
    EXPECT_GT(manager.MeasureText(L"Vellumora", 0).cx, 20);
}

TEST(MarkupBuilder, BrokenLayoutsFailWithAReason)
{
    PaintManager manager;
    std::wstring error;
    const std::string notXml = "<Window><Label></Window>";
    EXPECT_EQ(MarkupBuilder::Build(notXml.data(), notXml.size(), manager, nullptr, &error), nullptr);
    EXPECT_NE(error.find(L"parse"), std::wstring::npos);
    const std::string noWindow = "<Dialog/>";
    EXPECT_EQ(MarkupBuilder::Build(noWindow.data(), noWindow.size(), manager, nullptr, &error), nullptr);
    EXPECT_EQ(MarkupBuilder::BuildFromSkin(L"nothere.xml", manager, nullptr, &error), nullptr);
    EXPECT_NE(error.find(L"nothere.xml"), std::wstring::npos);
}

TEST(TextTable, ReappliesTextsByIdentifierAndKeepsLayoutTextsOtherwise)
{
    PaintManager manager;
    auto root = BuildText(LR"(<Window><VerticalLayout>
        <Label name="a" text="layout A" textid="7"/>
        <Button name="b" text="layout B" textid="8"/>
        <Label name="c" text="no id"/></VerticalLayout></Window>)",
        manager);
    manager.AttachRoot(std::move(root));

    ClearLanguageTexts();
    EXPECT_EQ(ApplyLanguageTexts(manager.GetRoot()), 0);
    EXPECT_EQ(manager.FindControl(L"a")->GetText(), L"layout A");

    SetLanguageText(7, L"Install path");
    SetLanguageText(L"8", L"Back");
    SetLanguageText(L"8", L"Go back"); // replaces
    EXPECT_EQ(ApplyLanguageTexts(manager.GetRoot()), 2);
    EXPECT_EQ(manager.FindControl(L"a")->GetText(), L"Install path");
    EXPECT_EQ(manager.FindControl(L"b")->GetText(), L"Go back");
    EXPECT_EQ(manager.FindControl(L"c")->GetText(), L"no id");
    ASSERT_NE(FindLanguageText(L"7"), nullptr);
    ClearLanguageTexts();
}
