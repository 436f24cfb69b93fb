#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "toolkit/Button.h"
#include "toolkit/Combo.h"
#include "toolkit/Container.h"
#include "toolkit/Edit.h"
#include "support/MessagePump.h"
#include "toolkit/WindowImplBase.h"

#include <oleacc.h>

using namespace Toolkit;
using TestSupport::PumpUntil;

namespace {

class SkinWindow : public WindowImplBase {
public:
    explicit SkinWindow(std::wstring file)
        : m_file(std::move(file))
    {
    }
    void Notify(TNotifyUI& msg) override
    {
        received.push_back(msg);
        if (onNotify) {
            onNotify(msg);
        }
        WindowImplBase::Notify(msg);
    }
    std::vector<TNotifyUI> received;
    std::function<void(TNotifyUI&)> onNotify;
    int Count(const std::wstring& type) const
    {
        int n = 0;
        for (const auto& msg : received) {
            n += msg.type == type;
        }
        return n;
    }

protected:
    std::wstring GetSkinFolder() override { return L""; }
    std::wstring GetSkinFile() override { return m_file; }
    std::wstring GetWindowClassName() const override { return L"ToolkitTestWindow"; }

private:
    std::wstring m_file;
};

} // namespace

TEST(Window, TakesItsSizeFromTheLayoutAndFailsWithoutOne)
{
    SkinWindow window(L"MessageBox1Wnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP, 0, 0, 0, 10, 10));
    RECT rect;
    ::GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 400);
    EXPECT_EQ(rect.bottom - rect.top, 180);
    EXPECT_NE(window.FindControl(L"okBtn"), nullptr);

    SkinWindow missing(L"NoSuchLayout.xml");
    EXPECT_EQ(missing.Create(nullptr, L"test", WS_POPUP, 0), nullptr);
    EXPECT_NE(missing.GetLoadError().find(L"NoSuchLayout.xml"), std::wstring::npos);
}

TEST(Window, CaptionAreaDragsExceptOverButtons)
{
    SkinWindow window(L"MessageBox1Wnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP, 0, 100, 100, 10, 10));
    window.GetPaintManager().UpdateLayout();
    const RECT close = window.FindControl(L"closebtn")->GetPos();
    auto hit = [&](int x, int y) {
        return ::SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(100 + x, 100 + y));
    };
    EXPECT_EQ(hit(60, 10), HTCAPTION);
    EXPECT_EQ(hit((close.left + close.right) / 2, (close.top + close.bottom) / 2), HTCLIENT);
    EXPECT_EQ(hit(60, 100), HTCLIENT);
}

TEST(Window, QueuedNotificationsFromAnotherThreadArriveOnTheWindowThread)
{
    SkinWindow window(L"MessageBox1Wnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP, 0));
    const DWORD uiThread = ::GetCurrentThreadId();
    DWORD deliveredOn = 0;
    window.onNotify = [&](TNotifyUI& msg) {
        if (msg.type == L"checknet") {
            deliveredOn = ::GetCurrentThreadId();
        }
    };
    CControlUI* root = window.GetPaintManager().GetRoot();
    std::thread worker([&] { window.GetPaintManager().SendNotify(root, L"checknet", 0x10000, 0, true); });
    worker.join();
    EXPECT_EQ(window.Count(L"checknet"), 0) << "queued, not delivered on the worker";
    ASSERT_TRUE(PumpUntil([&] { return window.Count(L"checknet") == 1; }, 5000));
    EXPECT_EQ(deliveredOn, uiThread);
    EXPECT_EQ(window.received.back().wParam, 0x10000u);
    EXPECT_EQ(window.received.back().sender, root);

    window.GetPaintManager().SendNotify(root, L"install", 1);
    EXPECT_EQ(window.Count(L"install"), 1) << "synchronous notifications arrive before SendNotify returns";
}

TEST(Window, ControlTimersTickAsNotificationsUntilKilled)
{
    SkinWindow window(L"MessageBox1Wnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP, 0));
    CControlUI* root = window.GetPaintManager().GetRoot();
    ASSERT_TRUE(root->SetTimer(10, 15));
    ASSERT_TRUE(PumpUntil([&] { return window.Count(L"timer") >= 3; }, 5000));
    EXPECT_EQ(window.received.back().sender, root);
    EXPECT_EQ(window.received.back().wParam, 10u);
    root->KillTimer(10);
    const int after = window.Count(L"timer");
    PumpUntil([] { return false; }, 120);
    EXPECT_EQ(window.Count(L"timer"), after);
}

TEST(Window, TabMovesFocusAndEnterClicksTheFocusedButton)
{
    SkinWindow window(L"exitTipWnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP | WS_VISIBLE, 0));
    window.GetPaintManager().UpdateLayout();
    PaintManager& pm = window.GetPaintManager();
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_NE(pm.GetFocus(), nullptr);
    EXPECT_EQ(pm.GetFocus()->GetName(), L"closebtn");
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(pm.GetFocus()->GetName(), L"okBtn");
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(pm.GetFocus()->GetName(), L"cancelBtn");
    ::SendMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_EQ(window.Count(L"click"), 1);
    EXPECT_EQ(window.received.back().sender->GetName(), L"cancelBtn");
    ::SendMessageW(window, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(window.Count(L"click"), 2);
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(pm.GetFocus()->GetName(), L"closebtn") << "Tab wraps around";

    // A disabled or hidden button is skipped.
    window.FindControl(L"okBtn")->SetEnabled(false);
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    EXPECT_EQ(pm.GetFocus()->GetName(), L"cancelBtn");
}

TEST(Window, ModalLoopDisablesTheOwnerAndPassesWmQuitOn)
{
    SkinWindow owner(L"MessageBox2Wnd.xml");
    ASSERT_TRUE(owner.Create(nullptr, L"owner", WS_POPUP | WS_VISIBLE, 0));
    SkinWindow box(L"exitTipWnd.xml");
    ASSERT_TRUE(box.Create(owner, L"box", WS_POPUP, 0));
    bool ownerDisabledInside = false;
    box.onNotify = [&](TNotifyUI& msg) {
        if (msg.type == L"timer") {
            ownerDisabledInside = !::IsWindowEnabled(owner);
            box.Close(7);
        }
    };
    box.GetPaintManager().GetRoot()->SetTimer(1, 10);
    EXPECT_EQ(box.ShowModal(), 7u);
    EXPECT_TRUE(ownerDisabledInside);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    EXPECT_FALSE(::IsWindow(box.GetHWND()));

    SkinWindow second(L"exitTipWnd.xml");
    ASSERT_TRUE(second.Create(owner, L"box", WS_POPUP, 0));
    ::PostQuitMessage(42);
    second.ShowModal();
    EXPECT_TRUE(::IsWindowEnabled(owner));
    MSG msg;
    ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "WM_QUIT is posted again";
    EXPECT_EQ(msg.wParam, 42u);
}

TEST(Window, NativeEditAndComboReportThroughTheWindow)
{
    SkinWindow window(L"MessageBox1Wnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP, 0));
    auto* root = static_cast<CContainerUI*>(window.GetPaintManager().GetRoot()->GetInterface(L"Container"));
    ASSERT_NE(root, nullptr);

    auto* edit = new CEditUI();
    edit->SetAttribute(L"name", L"pathEdit");
    edit->SetAttribute(L"height", L"30");
    ASSERT_TRUE(root->Add(edit));
    auto* combo = new CComboUI();
    combo->SetAttribute(L"name", L"languageCombo");
    combo->SetAttribute(L"height", L"24");
    combo->AddItem(L"English");
    combo->AddItem(L"简体中文");
    ASSERT_TRUE(root->Add(combo));
    window.GetPaintManager().UpdateLayout();
    EXPECT_EQ(window.FindControl(L"languageCombo"), combo);

    // Typing into the real edit updates the control's text and tells the window.
    HWND native = edit->GetNativeWindow();
    ASSERT_NE(native, nullptr);
    edit->SetText(L"C:\\Tarvik");
    wchar_t buffer[64] = {};
    ::GetWindowTextW(native, buffer, 64);
    EXPECT_STREQ(buffer, L"C:\\Tarvik");
    EXPECT_EQ(window.Count(L"textchanged"), 0) << "setting the text from code is not a user change";
    ::SendMessageW(native, EM_SETSEL, 9, 9);
    ::SendMessageW(native, WM_CHAR, L'Q', 0);
    EXPECT_EQ(edit->GetText(), L"C:\\TarvikQ");
    EXPECT_EQ(window.Count(L"textchanged"), 1);

    // Selecting an item, from code or by the user, sends "itemselect" with new and old index.
    HWND list = combo->GetNativeWindow();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
    EXPECT_TRUE(combo->SelectItem(1));
    EXPECT_EQ(combo->GetCurSel(), 1);
    ASSERT_EQ(window.Count(L"itemselect"), 1);
    EXPECT_EQ(window.received.back().wParam, 1u);
    EXPECT_EQ(window.received.back().lParam, -1);
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);
    ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    EXPECT_EQ(combo->GetCurSel(), 0);
    EXPECT_EQ(window.Count(L"itemselect"), 2);
    EXPECT_EQ(window.received.back().lParam, 1);
    EXPECT_FALSE(combo->SelectItem(5));

    // Removing a control while it has a timer leaves nothing behind that could fire.
    ASSERT_TRUE(combo->SetTimer(3, 10));
    ASSERT_TRUE(root->Remove(combo));
    EXPECT_EQ(window.FindControl(L"languageCombo"), nullptr);
    PumpUntil([] { return false; }, 80);
    EXPECT_EQ(window.Count(L"timer"), 0);
}

namespace {

// The colour at a client point when the window paints itself into a bitmap.
COLORREF PaintedPixel(PaintManager& pm, POINT at)
{
    RECT client;
    ::GetClientRect(pm.GetPaintWindow(), &client);
    HDC screen = ::GetDC(nullptr);
    HDC dc = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    pm.PaintInto(dc);
    const COLORREF pixel = ::GetPixel(dc, at.x, at.y);
    ::SelectObject(dc, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    ::ReleaseDC(nullptr, screen);
    return pixel;
}

} // namespace

TEST(Window, TheFocusRingShowsOnceTheKeyboardIsUsedAndGoesWithAClick)
{
    SkinWindow window(L"exitTipWnd.xml");
    ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP | WS_VISIBLE, 0));
    PaintManager& pm = window.GetPaintManager();
    pm.UpdateLayout();
    CControlUI* ok = window.FindControl(L"okBtn");
    ASSERT_NE(ok, nullptr);
    const RECT r = ok->GetPos();
    const POINT justOutside { r.left - 2, (r.top + r.bottom) / 2 };
    const COLORREF ring = RGB(0x00, 0x76, 0xFF);

    ok->SetFocus();
    EXPECT_NE(PaintedPixel(pm, justOutside), ring) << "no ring before the keyboard is used";
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    ::SendMessageW(window, WM_KEYDOWN, VK_TAB, 0);
    ASSERT_EQ(pm.GetFocus(), ok) << "three Tabs go round to the same button";
    EXPECT_EQ(PaintedPixel(pm, justOutside), ring);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(r.left + 2, r.top + 2));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(r.left + 2, r.top + 2));
    EXPECT_NE(PaintedPixel(pm, justOutside), ring) << "a click hides the ring again";
}

TEST(Window, AnAccessibleObjectKeptPastItsWindowFailsGracefully)
{
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IAccessible* accessible = nullptr;
    {
        SkinWindow window(L"MessageBox1Wnd.xml");
        ASSERT_TRUE(window.Create(nullptr, L"test", WS_POPUP | WS_VISIBLE, 0));
        window.GetPaintManager().UpdateLayout();
        ASSERT_EQ(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                      reinterpret_cast<void**>(&accessible)),
            S_OK);
        long count = 0;
        EXPECT_EQ(accessible->get_accChildCount(&count), S_OK);
        EXPECT_GE(count, 4) << "caption, text, ok and close";
    }
    long count = -1;
    const HRESULT gone = accessible->get_accChildCount(&count);
    EXPECT_TRUE(FAILED(gone)) << std::hex << gone;
    VARIANT self {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    EXPECT_TRUE(FAILED(accessible->accDoDefaultAction(self)));
    accessible->Release();
    ::CoUninitialize();
}
