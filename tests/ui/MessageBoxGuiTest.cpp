#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <thread>
#include <vector>

#include "GuiDriver.h"
#include "toolkit/Progress.h"
#include "toolkit/TabLayout.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/CSequenceLabelUI.h"

using namespace GuiDriver;

namespace {

struct Observed {
    std::string error;
    bool ownerDisabledWhileOpen = false;
    bool centredOverOwner = false;
};

struct Context {
    HWND owner;
    HWND box;
    Observed& observed;
    std::wstring shotName;
};

using Action = std::function<void(Context&)>;

void Shoot(Context& c)
{
    if (!c.shotName.empty()) {
        EXPECT_FALSE(SaveScreenshot(WindowShotArea(c.box), c.shotName).empty());
    }
}

// Hovers a control (shows its hot state), takes the screenshot, and clicks it.
Action ClickControl(const wchar_t* name)
{
    return [name](Context& c) {
        const Located where = Hover(c.owner, c.box, name);
        if (!where.found) {
            c.observed.error = "control not found";
            return;
        }
        Shoot(c);
        if (!ClickControlOf(c.owner, c.box, name)) {
            c.observed.error = "the control was never pushed";
        }
    };
}

Action EscapeThen(Action next)
{
    return [next](Context& c) {
        PressKeys({ VK_ESCAPE });
        next(c);
    };
}

Action AltF4()
{
    return [](Context& c) {
        Shoot(c);
        PressKeys({ VK_MENU, VK_F4 });
    };
}

// Real key presses, one after another: Tab moves the focus, Enter or Space presses.
Action Keys(std::initializer_list<WORD> keys)
{
    std::vector<WORD> sequence(keys);
    return [sequence](Context&) {
        for (WORD key : sequence) {
            PressKeys({ key });
        }
    };
}

Action CloseBySystem()
{
    return [](Context& c) {
        Shoot(c);
        ::PostMessageW(c.box, WM_CLOSE, 0, 0);
    };
}

// Runs one message box over a main window while a driver thread acts on it.
int RunBox(const wchar_t* file, const wchar_t* text, const wchar_t* caption, const Action& act, Observed& observed,
    const std::wstring& shotName = L"")
{
    Backdrop backdrop;
    TestMainWnd owner;
    EXPECT_TRUE(owner.Create(nullptr, L"Vellumora", WS_POPUP | WS_VISIBLE, 0, 60, 60, 600, 400));
    const HWND ownerHwnd = owner.GetHWND();
    const FrameParams params = FrameParams::ForSkinFile(file);

    std::thread driver([&] {
        const HWND box = WaitForWindow(params.windowClassName.c_str(), L"消息框", 10000);
        if (!box) {
            observed.error = "the box never appeared";
            return;
        }
        // The box appears (WS_VISIBLE) a moment before its modal loop disables the owner.
        const DWORD start = ::GetTickCount();
        while (::IsWindowEnabled(ownerHwnd) && ::GetTickCount() - start < 3000) {
            ::Sleep(10);
        }
        observed.ownerDisabledWhileOpen = !::IsWindowEnabled(ownerHwnd) && ::IsWindow(box);
        // Keys and clicks go to the box only once Wine's focus has settled on it.
        WaitSettledForeground(box, 200, 3000);
        RECT boxRect;
        RECT ownerRect;
        ::GetWindowRect(box, &boxRect);
        ::GetWindowRect(ownerHwnd, &ownerRect);
        observed.centredOverOwner = std::abs((boxRect.left + boxRect.right) - (ownerRect.left + ownerRect.right)) <= 2
            && std::abs((boxRect.top + boxRect.bottom) - (ownerRect.top + ownerRect.bottom)) <= 2;
        Context context { ownerHwnd, box, observed, shotName };
        act(context);
        if (!WaitGone(box, 8000)) {
            observed.error = "the box did not close";
            ::PostMessageW(box, WM_CLOSE, 0, 0);
            WaitGone(box, 5000);
        }
    });
    const int result = ShowMessageBox(ownerHwnd, params, text, caption);
    driver.join();
    EXPECT_TRUE(::IsWindowEnabled(ownerHwnd)) << "the owner is enabled again";
    return result;
}

void ExpectBox(const wchar_t* file, const Action& act, int expected, const std::wstring& shot = L"",
    const wchar_t* text = nullptr, const wchar_t* caption = nullptr)
{
    Observed observed;
    const int result = RunBox(file, text, caption, act, observed, shot);
    EXPECT_EQ(observed.error, "");
    EXPECT_TRUE(observed.ownerDisabledWhileOpen);
    EXPECT_TRUE(observed.centredOverOwner);
    EXPECT_EQ(result, expected);
}

const wchar_t kRunning[] = L"安装程序检测到Vellumora\r\n正在运行，请退出程序后再安装";

} // namespace

TEST(MessageBox1Gui, OkReturns0CloseReturns2SystemCloseReturns1)
{
    ExpectBox(L"MessageBox1Wnd.xml", ClickControl(L"okBtn"), 0, L"MessageBox1Wnd.png", kRunning, L"温馨提示");
    ExpectBox(L"MessageBox1Wnd.xml", ClickControl(L"closebtn"), 2, L"", L"包内消息", L"消息");
    ExpectBox(L"MessageBox1Wnd.xml", AltF4(), 1);
}

TEST(MessageBox1Gui, EscapeDoesNothing)
{
    // Escape comes first; had it closed the box, the click would find nothing and the
    // result would be 1.
    ExpectBox(L"MessageBox1Wnd.xml", EscapeThen(ClickControl(L"okBtn")), 0);
}

TEST(MessageBox2Gui, OnlyTheCloseButtonOrTheSystemDismissesIt)
{
    ExpectBox(L"MessageBox2Wnd.xml", EscapeThen(ClickControl(L"closebtn")), 2, L"MessageBox2Wnd.png",
        L"当前磁盘剩余空间低于1GB，请修改安装路径", L"温馨提示");
    ExpectBox(L"MessageBox2Wnd.xml", CloseBySystem(), 1, L"", L"无效路径", L"温馨提示");
}

TEST(NetworkTipGui, RetryCloseAndSystemClose)
{
    ExpectBox(L"NetworkTipWnd.xml", ClickControl(L"okBtn"), 0, L"NetworkTipWnd.png");
    ExpectBox(L"NetworkTipWnd.xml", EscapeThen(ClickControl(L"closebtn")), 2);
    ExpectBox(L"NetworkTipWnd.xml", AltF4(), 1);
}

TEST(InstalledPathTipGui, CoverOpenAndClose)
{
    ExpectBox(L"InstalledPathTipWnd.xml", ClickControl(L"okBtn"), 0, L"InstalledPathTipWnd.png");
    ExpectBox(L"InstalledPathTipWnd.xml", EscapeThen(ClickControl(L"cancelBtn")), 1);
    ExpectBox(L"InstalledPathTipWnd.xml", ClickControl(L"closebtn"), 2);
    ExpectBox(L"InstalledPathTipWnd.xml", CloseBySystem(), 1);
}

TEST(ExitTipGui, QuitContinueAndClose)
{
    // The code names it ExitTipWnd.xml; the skin stores exitTipWnd.xml.
    ExpectBox(L"ExitTipWnd.xml", ClickControl(L"cancelBtn"), 1, L"ExitTipWnd.png");
    ExpectBox(L"ExitTipWnd.xml", EscapeThen(ClickControl(L"okBtn")), 0);
    ExpectBox(L"ExitTipWnd.xml", ClickControl(L"closebtn"), 2);
    ExpectBox(L"ExitTipWnd.xml", AltF4(), 1);
}

TEST(ExitTipGui, KeyboardAlone)
{
    // Focus order: closebtn, okBtn, cancelBtn.
    ExpectBox(L"ExitTipWnd.xml", Keys({ VK_TAB, VK_TAB, VK_RETURN }), 0);
    ExpectBox(L"ExitTipWnd.xml", Keys({ VK_TAB, VK_TAB, VK_TAB, VK_SPACE }), 1);
}

TEST(MessageBoxGui, EveryBoxIsDismissedWithTheKeyboard)
{
    // Tab order is tree order: the title bar's close button first, then the body's buttons.
    // (The exit prompt has its own case above.)
    const struct {
        const wchar_t* file;
        Action keys;
        int expected;
    } cases[] = {
        { L"MessageBox1Wnd.xml", Keys({ VK_TAB, VK_TAB, VK_RETURN }), 0 },
        { L"MessageBox2Wnd.xml", Keys({ VK_TAB, VK_SPACE }), 2 },
        { L"NetworkTipWnd.xml", Keys({ VK_TAB, VK_TAB, VK_SPACE }), 0 },
        { L"InstalledPathTipWnd.xml", Keys({ VK_TAB, VK_TAB, VK_TAB, VK_RETURN }), 1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file, c.file + std::wcslen(c.file)));
        ExpectBox(c.file, c.keys, c.expected, L"", L"包内消息", L"消息");
    }
}

TEST(MessageBoxGui, AMissingLayoutReturnsOneWithoutHanging)
{
    TestMainWnd owner;
    ASSERT_TRUE(owner.Create(nullptr, L"Vellumora", WS_POPUP | WS_VISIBLE, 0, 60, 60, 600, 400));
    EXPECT_EQ(ShowMessageBox(owner, FrameParams::ForSkinFile(L"NoSuchWnd.xml"), L"x", L"y"), 1);
    EXPECT_TRUE(::IsWindowEnabled(owner));
}

TEST(MainWindowGui, PagesRenderAndPlay)
{
    Backdrop backdrop;
    TestMainWnd main;
    ASSERT_TRUE(main.Create(nullptr, L"Vellumora", WS_POPUP | WS_VISIBLE, 0, 60, 60, 600, 400));
    auto* tabs = main.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout");
    ASSERT_NE(tabs, nullptr);
    auto settle = [&] {
        PumpUntil([] { return false; }, 150);
    };
    const HWND hwnd = main.GetHWND();

    // Page 0 with the pointer over the install button: its hot image shows.
    settle();
    std::atomic<bool> hovered { false };
    std::thread driver([&] { hovered = Hover(hwnd, hwnd, L"defaultInstallBtn").hot; });
    PumpUntil([&] { return hovered.load(); }, 5000);
    driver.join();
    EXPECT_TRUE(hovered.load());
    settle();
    EXPECT_FALSE(SaveScreenshot(WindowShotArea(hwnd), L"MainWnd_page0.png").empty());
    MoveMouse(POINT { 5, 5 });

    // The hint and the terms row, as shown when the terms are not accepted.
    main.FindControl(L"tipLbl")->SetVisible(true);
    main.FindControl(L"treatyCtn")->SetVisible(true);
    settle();
    EXPECT_FALSE(SaveScreenshot(WindowShotArea(hwnd), L"MainWnd_page0_terms.png").empty());
    main.FindControl(L"tipLbl")->SetVisible(false);
    main.FindControl(L"treatyCtn")->SetVisible(false);

    tabs->SelectItem(1);
    main.FindControl(L"backBtn")->SetVisible(true);
    main.FindControl(L"installDirEdit")->SetText(L"C:\\Program Files (x86)\\TarvikQuill");
    settle();
    EXPECT_FALSE(SaveScreenshot(WindowShotArea(hwnd), L"MainWnd_page1.png").empty());

    // Installing: the animation runs on its control timer.
    tabs->SelectItem(2);
    main.FindControl(L"backBtn")->SetVisible(false);
    main.FindControl(L"titleGrpCtn")->SetVisible(false);
    auto* animation = static_cast<CSequenceLabelUI*>(main.FindControl(L"progressAnLb")->GetInterface(L"SequenceLabel"));
    ASSERT_NE(animation, nullptr);
    animation->Start();
    main.FindControl(L"progressLb")->SetText(L"正在安装中:45%，请稍候...");
    static_cast<Toolkit::CProgressUI*>(main.FindControl(L"installPrg")->GetInterface(L"Progress"))->SetValue(45);
    EXPECT_TRUE(PumpUntil([&] { return animation->GetBkImage().find(L"\\020.png") != std::wstring::npos; }, 15000))
        << "frames advance on the timer";
    EXPECT_FALSE(SaveScreenshot(WindowShotArea(hwnd), L"MainWnd_page2.png").empty());

    tabs->SelectItem(3);
    animation->Stop();
    main.FindControl(L"titleGrpCtn")->SetVisible(true);
    settle();
    EXPECT_FALSE(SaveScreenshot(WindowShotArea(hwnd), L"MainWnd_page3.png").empty());
}
