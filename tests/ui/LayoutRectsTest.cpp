#include <gtest/gtest.h>

#include <cstdio>

#include "toolkit/Diagnostics.h"
#include "toolkit/ImageRef.h"
#include "toolkit/SkinArchive.h"
#include "toolkit/TabLayout.h"
#include "ui/CDuiFrame.h"
#include "ui/CSequenceLabelUI.h"

namespace {

::testing::AssertionResult HasRect(CDuiFrame& frame, const wchar_t* name, RECT expected)
{
    Toolkit::CControlUI* control = frame.FindControl(name);
    const std::string narrow(name, name + wcslen(name));
    if (!control) {
        return ::testing::AssertionFailure() << narrow << " is missing";
    }
    if (!control->IsVisible()) {
        return ::testing::AssertionFailure() << narrow << " is hidden";
    }
    const RECT& r = control->GetPos();
    if (::EqualRect(&r, &expected)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << narrow << " is at (" << r.left << "," << r.top << "," << r.right << ","
                                         << r.bottom << "), expected (" << expected.left << "," << expected.top << ","
                                         << expected.right << "," << expected.bottom << ")";
}

class LayoutFrame {
public:
    explicit LayoutFrame(const wchar_t* file)
        : frame(FrameParams::ForSkinFile(file))
    {
        created = frame.Create(nullptr, L"layout", WS_POPUP, 0) != nullptr;
        if (created) {
            frame.GetPaintManager().UpdateLayout();
        }
    }
    void SelectPage(int page)
    {
        auto* tabs = frame.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
        ASSERT_NE(tabs, nullptr);
        ASSERT_TRUE(tabs->SelectItem(page));
        frame.GetPaintManager().UpdateLayout();
    }
    CDuiFrame frame;
    bool created = false;
};

} // namespace

TEST(MainLayout, TitleBarAndStartPage)
{
    LayoutFrame main(L"MainWnd.xml");
    ASSERT_TRUE(main.created) << "the code names it MainWnd.xml, the skin stores mainWnd.xml";
    CDuiFrame& f = main.frame;
    EXPECT_TRUE(HasRect(f, L"winCtn", RECT { 0, 0, 600, 400 }));
    EXPECT_TRUE(HasRect(f, L"titleTabLt", RECT { 10, 10, 210, 45 }));
    EXPECT_TRUE(HasRect(f, L"titleGrpCtn", RECT { 528, 10, 590, 36 }));
    EXPECT_TRUE(HasRect(f, L"minbtn", RECT { 528, 10, 554, 36 }));
    EXPECT_TRUE(HasRect(f, L"closebtn", RECT { 564, 10, 590, 36 }));
    EXPECT_TRUE(HasRect(f, L"mainTabLt", RECT { 0, 45, 600, 400 }));
    EXPECT_TRUE(HasRect(f, L"blogo1", RECT { 141, 85, 459, 151 }));
    EXPECT_TRUE(HasRect(f, L"defaultInstallBtn", RECT { 200, 223, 400, 269 })) << "72 below the logo row";
    EXPECT_TRUE(HasRect(f, L"customeBtn", RECT { 498, 363, 580, 382 }));
    EXPECT_FALSE(f.FindControl(L"tipLbl")->IsVisible());
    EXPECT_FALSE(f.FindControl(L"treatyCb")->IsVisible()) << "inside the hidden row";
    EXPECT_FALSE(f.FindControl(L"bTitleLbl1")->IsVisible());
    EXPECT_FALSE(f.FindControl(L"backBtn")->IsVisible());
    EXPECT_EQ(f.FindControl(L"tipLbl")->GetFixedWidth(), 120);

    // Shown, the hint and the terms row take their places near the bottom.
    f.FindControl(L"tipLbl")->SetVisible(true);
    f.FindControl(L"treatyCtn")->SetVisible(true);
    f.GetPaintManager().UpdateLayout();
    EXPECT_TRUE(HasRect(f, L"tipLbl", RECT { 14, 327, 134, 363 }));
    EXPECT_TRUE(HasRect(f, L"treatyCb", RECT { 20, 363, 84, 382 }));
    EXPECT_TRUE(HasRect(f, L"treatyBtn", RECT { 84, 363, 194, 382 }));
}

TEST(MainLayout, CustomPage)
{
    LayoutFrame main(L"mainWnd.xml");
    ASSERT_TRUE(main.created);
    main.SelectPage(1);
    CDuiFrame& f = main.frame;
    EXPECT_FALSE(f.FindControl(L"defaultInstallBtn")->IsVisible());
    EXPECT_TRUE(HasRect(f, L"blogo2", RECT { 141, 85, 459, 151 }));
    Toolkit::CControlUI* edit = f.FindControl(L"installDirEdit");
    ASSERT_NE(edit, nullptr);
    const RECT e = edit->GetPos();
    EXPECT_EQ(e.right - e.left, 340);
    EXPECT_EQ(e.top, 191);
    EXPECT_EQ(e.bottom, 227);
    EXPECT_TRUE(HasRect(f, L"chDirBtn", RECT { e.right + 8, 191, e.right + 88, 227 }));
    const RECT label = f.FindControl(L"lbInstallPath")->GetPos();
    EXPECT_EQ(label.right + 8, e.left);
    EXPECT_LE(std::abs((label.left + 0) - (600 - (e.right + 88))), 1) << "the path row is centred";
    EXPECT_EQ(f.FindControl(L"createDSCb")->GetPos().top, 245);
    EXPECT_EQ(f.FindControl(L"createQSCb")->GetPos().top, 245);
    EXPECT_TRUE(HasRect(f, L"customeInstallBtn", RECT { 200, 301, 400, 347 }));

    // The edit is a real child window over the text part of the skin box.
    HWND native = edit->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(::IsChild(f.GetHWND(), native));
    main.SelectPage(0);
    EXPECT_FALSE(::IsWindowVisible(native)) << "hidden with its page";
}

TEST(MainLayout, InstallingAndFinishedPages)
{
    LayoutFrame main(L"mainWnd.xml");
    ASSERT_TRUE(main.created);
    CDuiFrame& f = main.frame;
    main.SelectPage(2);
    EXPECT_TRUE(HasRect(f, L"progressAnLb", RECT { 200, 55, 400, 255 })) << "centred in the 221-pixel band";
    EXPECT_NE(f.FindControl(L"progressAnLb")->GetInterface(L"SequenceLabel"), nullptr);
    EXPECT_TRUE(HasRect(f, L"progressLb", RECT { 100, 266, 500, 296 }));
    EXPECT_TRUE(HasRect(f, L"installPrg", RECT { 100, 325, 500, 335 })) << "29 below the text";
    EXPECT_FALSE(f.FindControl(L"installingTipLbl")->IsVisible());

    main.SelectPage(3);
    const RECT mark = f.FindControl(L"finishedLbl")->GetPos();
    EXPECT_EQ(mark.top, 125) << "80 below the title bar";
    EXPECT_EQ(mark.right - mark.left, 42);
    EXPECT_EQ(mark.bottom - mark.top, 42);
    const RECT text = f.FindControl(L"finishedTextLbl")->GetPos();
    EXPECT_EQ(text.left, mark.right + 14);
    EXPECT_LE(std::abs((mark.left - 0) - (600 - text.right)), 1) << "the row is centred";
    EXPECT_TRUE(HasRect(f, L"openProduceBtn", RECT { 200, 250, 400, 296 })) << "83 below the row";
    EXPECT_FALSE(f.FindControl(L"restartLbl")->IsVisible()) << "shown only when a restart is needed";
    EXPECT_TRUE(HasRect(f, L"makerLogo", RECT { 242, 367, 358, 393 })) << "71 below the button";
    auto* finished = static_cast<CSequenceLabelUI*>(f.FindControl(L"finishedLbl")->GetInterface(L"SequenceLabel"));
    ASSERT_NE(finished, nullptr);
    EXPECT_EQ(finished->GetSequenceCount(), 0);
    EXPECT_FALSE(finished->Player().Loop());
}

TEST(SmallLayouts, TitleStripCloseButtonAndButtons)
{
    struct Case {
        const wchar_t* file;
        std::vector<std::pair<const wchar_t*, RECT>> rects;
        std::vector<const wchar_t*> absent;
    };
    const RECT close { 371, 4, 395, 28 };
    const std::vector<Case> cases {
        { L"MessageBox1Wnd.xml",
            { { L"closebtn", close }, { L"okBtn", RECT { 150, 127, 250, 159 } },
                { L"textLbl", RECT { 1, 45, 399, 113 } } },
            { L"cancelBtn" } },
        { L"MessageBox2Wnd.xml", { { L"closebtn", close }, { L"textLbl", RECT { 1, 51, 399, 141 } } },
            { L"okBtn", L"cancelBtn" } },
        { L"NetworkTipWnd.xml", { { L"closebtn", close }, { L"okBtn", RECT { 150, 127, 250, 159 } } },
            { L"cancelBtn", L"textLbl" } },
        { L"InstalledPathTipWnd.xml",
            { { L"closebtn", close }, { L"okBtn", RECT { 90, 127, 190, 159 } },
                { L"cancelBtn", RECT { 210, 127, 310, 159 } } },
            { L"textLbl" } },
        { L"ExitTipWnd.xml",
            { { L"closebtn", close }, { L"okBtn", RECT { 90, 127, 190, 159 } },
                { L"cancelBtn", RECT { 210, 127, 310, 159 } }, { L"iconLbl", RECT { 37, 59, 77, 99 } } },
            { L"textLbl" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + wcslen(c.file)));
        LayoutFrame small(c.file);
        ASSERT_TRUE(small.created);
        RECT window;
        ::GetWindowRect(small.frame, &window);
        EXPECT_EQ(window.right - window.left, 400);
        EXPECT_EQ(window.bottom - window.top, 180);
        EXPECT_EQ(small.frame.GetPaintManager().GetCaptionRect().bottom, 30);
        EXPECT_EQ(small.frame.GetPaintManager().GetWindowAttribute(L"shadowcolor"), L"#26003B76");
        EXPECT_TRUE(HasRect(small.frame, L"titleCtn", RECT { 1, 1, 399, 31 }));
        for (const auto& [name, rect] : c.rects) {
            EXPECT_TRUE(HasRect(small.frame, name, rect));
        }
        for (const wchar_t* name : c.absent) {
            EXPECT_EQ(small.frame.FindControl(name), nullptr);
        }
    }
}

TEST(Layouts, AllSevenParseWithoutAnyComplaint)
{
    std::vector<std::wstring> complaints;
    Toolkit::SetDiagnosticSink([&](const std::wstring& line) { complaints.push_back(line); });
    for (const wchar_t* file : { L"mainWnd.xml", L"MessageBox1Wnd.xml", L"MessageBox2Wnd.xml", L"NetworkTipWnd.xml",
             L"InstalledPathTipWnd.xml", L"exitTipWnd.xml", L"RemoveTipWnd.xml" }) {
        LayoutFrame layout(file);
        EXPECT_TRUE(layout.created) << std::string(file, file + wcslen(file));
        // Every image a layout names is in the skin, except the disabled states left out on purpose.
        std::vector<Toolkit::CControlUI*> stack { layout.frame.GetPaintManager().GetRoot() };
        while (!stack.empty()) {
            Toolkit::CControlUI* c = stack.back();
            stack.pop_back();
            const std::wstring image = Toolkit::ImageRef::Parse(c->GetBkImage()).file;
            if (!image.empty()) {
                EXPECT_TRUE(Toolkit::ReadSkinFile(image).has_value()) << std::string(image.begin(), image.end());
            }
            for (int i = 0; i < c->GetChildCount(); ++i) {
                stack.push_back(c->GetChildAt(i));
            }
        }
    }
    Toolkit::SetDiagnosticSink(nullptr);
    for (const auto& line : complaints) {
        // The only expected line: no font face replacement in a bare prefix.
        if (line.find(L"font face") == std::wstring::npos) {
            ADD_FAILURE() << std::string(line.begin(), line.end());
        }
    }
}

TEST(MainLayout, ElevenFontsWithTheirSizesAndStyles)
{
    LayoutFrame main(L"mainWnd.xml");
    ASSERT_TRUE(main.created);
    const int sizes[] = { 14, 16, 14, 12, 24, 36, 18, 14, 20, 32, 40 };
    Toolkit::FontTable& fonts = main.frame.GetPaintManager().Fonts();
    EXPECT_EQ(fonts.DefaultId(), 0);
    for (int id = 0; id < 11; ++id) {
        const Toolkit::FontInfo* font = fonts.Info(id);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ(font->size, sizes[id]) << id;
        EXPECT_EQ(font->bold, id == 5 || id == 9) << id;
        EXPECT_EQ(font->underline, id == 7) << id;
        EXPECT_EQ(font->requestedFace, L"微软雅黑");
        EXPECT_TRUE(font->face == L"微软雅黑" || font->face == Toolkit::FontTable::SystemFace());
        EXPECT_TRUE(font->font);
    }
    std::printf("requested face available: %s\n", fonts.Info(0)->face == L"微软雅黑" ? "yes" : "no, system font");
}
