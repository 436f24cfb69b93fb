#include <gtest/gtest.h>

#include <vector>

#include "toolkit/Container.h"
#include "toolkit/PaintManager.h"
#include "ui/CDuiFrame.h"
#include "ui/CSequenceButtonUI.h"
#include "ui/CSequenceLabelUI.h"
#include "ui/SequenceFactory.h"
#include "ui/SequenceFrames.h"

namespace {

// Frames shown over `ticks` timer events, and whether the timer was stopped.
struct Played {
    std::vector<int> frames;
    int stoppedAt = -1;
};

Played Play(int count, bool loop, bool roundTrip, int ticks)
{
    SequenceStepper stepper;
    stepper.count = count;
    stepper.loop = loop;
    stepper.roundTrip = roundTrip;
    Played run;
    for (int i = 0; i < ticks; ++i) {
        const auto step = stepper.Next();
        if (step.frame) {
            run.frames.push_back(*step.frame);
        }
        if (step.stopTimer) {
            run.stoppedAt = i;
            break;
        }
    }
    return run;
}

void Tick(Toolkit::CControlUI& control, int times = 1)
{
    for (int i = 0; i < times; ++i) {
        Toolkit::ControlEvent event { Toolkit::EventType::Timer };
        event.wParam = SequencePlayer::TIMER_SEQUENCE;
        control.DoEvent(event);
    }
}

} // namespace

TEST(SequenceStep, FourLoopAndRoundTripCombinations)
{
    const Played loop = Play(4, true, false, 10);
    EXPECT_EQ(loop.frames, (std::vector<int> { 0, 1, 2, 3, 0, 1, 2, 3, 0, 1 }));
    EXPECT_EQ(loop.stoppedAt, -1);

    const Played once = Play(4, false, false, 10);
    EXPECT_EQ(once.frames, (std::vector<int> { 0, 1, 2, 3 })) << "ends showing the last frame";
    EXPECT_EQ(once.stoppedAt, 4);

    const Played bounce = Play(4, true, true, 12);
    EXPECT_EQ(bounce.frames, (std::vector<int> { 0, 1, 2, 3, 2, 1, 0, 1, 2, 3, 2, 1 }));

    const Played bounceOnce = Play(4, false, true, 12);
    EXPECT_EQ(bounceOnce.frames, (std::vector<int> { 0, 1, 2, 3, 2, 1 })) << "ends showing frame 1";
    EXPECT_EQ(bounceOnce.stoppedAt, 6);
}

TEST(SequenceStep, TinyCountsStayOnFrameZero)
{
    EXPECT_EQ(Play(0, true, false, 3).frames, (std::vector<int> { 0, 0, 0 }));
    // Round trips over fewer than two frames must not walk into negative frame numbers.
    for (int count : { 0, 1 }) {
        for (int frame : Play(count, true, true, 8).frames) {
            EXPECT_EQ(frame, 0) << "count " << count;
        }
    }
}

TEST(SequenceFrames, PatternFormatting)
{
    EXPECT_EQ(
        FormatFramePattern(L"res\\mainWnd\\progressAnimate\\%.3d.png", 7), L"res\\mainWnd\\progressAnimate\\007.png");
    EXPECT_EQ(FormatFramePattern(L"f%d_%%.png", 12), L"f12_%.png");
    EXPECT_EQ(FormatFramePattern(L"still.png", 12), L"still.png") << "no conversion: the same image every tick";
    // Conversions that are not one integer are never given the number.
    EXPECT_EQ(FormatFramePattern(L"%s.png", 3), L"%s.png");
    EXPECT_EQ(FormatFramePattern(L"%d-%d.png", 3), L"%d-%d.png");
    EXPECT_EQ(FormatFramePattern(std::wstring(400, L'a') + L"%d", 1).size(), 259u);
}

TEST(SequenceLabel, AttributesAndTheirBooleans)
{
    CSequenceLabelUI label;
    EXPECT_EQ(label.GetSequenceSpan(), 30);
    EXPECT_TRUE(label.Player().Loop());
    EXPECT_FALSE(label.Player().RoundTrip());
    EXPECT_TRUE(label.SetAttribute(L"sequencebkimage", L"a%d.png"));
    EXPECT_TRUE(label.SetAttribute(L"SequenceCount", L"60"));
    EXPECT_TRUE(label.SetAttribute(L"SEQUENCESPAN", L"45"));
    EXPECT_TRUE(label.SetAttribute(L"sequenceloop", L"False"));
    EXPECT_TRUE(label.Player().Loop()) << "only exactly \"false\" turns looping off";
    EXPECT_TRUE(label.SetAttribute(L"sequenceloop", L"false"));
    EXPECT_FALSE(label.Player().Loop());
    EXPECT_TRUE(label.SetAttribute(L"autostart", L"TRUE"));
    EXPECT_TRUE(label.Player().AutoStart());
    EXPECT_EQ(label.GetSequenceImage(), L"a%d.png");
    EXPECT_EQ(label.GetSequenceCount(), 60);
    EXPECT_EQ(label.GetSequenceSpan(), 45);
    // The pattern attribute's name is matched with case; other names go to the label.
    EXPECT_FALSE(label.SetAttribute(L"SequenceBkImage", L"b%d.png"));
    EXPECT_EQ(label.GetSequenceImage(), L"a%d.png");
    EXPECT_TRUE(label.SetAttribute(L"text", L"x"));

    CSequenceButtonUI button;
    EXPECT_EQ(button.GetSequenceSpan(), 60);
    EXPECT_TRUE(button.Player().RoundTrip());
    EXPECT_EQ(button.GetClass(), L"SequenceButton");
    EXPECT_NE(button.GetInterface(L"Button"), nullptr);
}

TEST(SequenceLabel, TicksSwapTheBackgroundAndStartRestartsFromFrameZero)
{
    CSequenceLabelUI label;
    label.SetAttribute(L"bkimage", L"res\\first.png");
    Tick(label);
    EXPECT_EQ(label.GetBkImage(), L"res\\first.png") << "no pattern: ticks change nothing";

    label.SetAttribute(L"sequencebkimage", L"res\\mainWnd\\progressAnimate\\%.3d.png");
    label.SetAttribute(L"sequencecount", L"60");
    Tick(label, 3);
    EXPECT_EQ(label.GetBkImage(), L"res\\mainWnd\\progressAnimate\\002.png");
    label.Start();
    Tick(label);
    EXPECT_EQ(label.GetBkImage(), L"res\\mainWnd\\progressAnimate\\000.png");
    label.Start();
    label.Start();
    Tick(label, 2);
    EXPECT_EQ(label.GetBkImage(), L"res\\mainWnd\\progressAnimate\\001.png");

    // Other timers reach only the base.
    Toolkit::ControlEvent other { Toolkit::EventType::Timer };
    other.wParam = 10;
    label.DoEvent(other);
    EXPECT_EQ(label.GetBkImage(), L"res\\mainWnd\\progressAnimate\\001.png");

    CSequenceLabelUI still;
    still.SetAttribute(L"sequencebkimage", L"res\\still.png");
    still.SetAttribute(L"sequencecount", L"5");
    Tick(still, 3);
    EXPECT_EQ(still.GetBkImage(), L"res\\still.png");
}

TEST(SequenceFactory, CreatesBothElementNamesInAnyCase)
{
    std::unique_ptr<Toolkit::CControlUI> label(CreateSequenceControl(L"sequencelabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->GetClass(), L"SequenceLabel");
    std::unique_ptr<Toolkit::CControlUI> button(CreateSequenceControl(L"SEQUENCEBUTTON"));
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->GetClass(), L"SequenceButton");
    EXPECT_EQ(CreateSequenceControl(L"Label"), nullptr);
    EXPECT_EQ(CreateSequenceControl(nullptr), nullptr);
}

TEST(SequenceLabel, AutostartRunsOnTheWindowTimerWhenTheLabelJoinsAWindow)
{
    CDuiFrame frame(FrameParams::ForSkinFile(L"MessageBox2Wnd.xml"));
    ASSERT_TRUE(frame.Create(nullptr, L"sequence", WS_POPUP, 0));
    auto* root = static_cast<Toolkit::CContainerUI*>(frame.GetPaintManager().GetRoot()->GetInterface(L"Container"));
    ASSERT_NE(root, nullptr);
    auto* label = new CSequenceLabelUI();
    label->SetAttribute(L"sequencebkimage", L"res\\mainWnd\\progressAnimate\\%.3d.png");
    label->SetAttribute(L"sequencecount", L"3");
    label->SetAttribute(L"sequencespan", L"10");
    label->SetAttribute(L"sequenceloop", L"false");
    label->SetAttribute(L"autostart", L"true");
    ASSERT_TRUE(root->Add(label));

    // Bounded wait: frames 0, 1, 2, then the timer stops by itself.
    const DWORD start = ::GetTickCount();
    while (label->GetBkImage().find(L"002.png") == std::wstring::npos && ::GetTickCount() - start < 5000) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::DispatchMessageW(&msg);
        }
    }
    EXPECT_EQ(label->GetBkImage(), L"res\\mainWnd\\progressAnimate\\002.png");
    EXPECT_FALSE(label->GetManager()->SetTimer(nullptr, 1, 1)) << "no timer for a missing control";
}
