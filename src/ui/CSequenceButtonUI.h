#pragma once

#include "toolkit/Button.h"
#include "ui/SequencePlayer.h"

// A button that plays a numbered series of background images on a timer; by default a
// slower, back-and-forth animation than the label's.
class CSequenceButtonUI : public Toolkit::CButtonUI {
public:
    static constexpr UINT TIMER_SEQUENCE = SequencePlayer::TIMER_SEQUENCE;

    CSequenceButtonUI();
    ~CSequenceButtonUI() override;

    std::wstring_view GetClass() const override { return L"SequenceButton"; }
    void* GetInterface(std::wstring_view name) override;

    virtual void SetSequenceImage(const std::wstring& pattern) { m_player.SetPattern(pattern); }
    virtual std::wstring GetSequenceImage() const { return m_player.Pattern(); }
    virtual void SetSequenceCount(int count) { m_player.SetCount(count); }
    virtual int GetSequenceCount() const { return m_player.Count(); }
    virtual void SetSequenceSpan(int interval) { m_player.SetInterval(interval); }
    virtual int GetSequenceSpan() const { return m_player.Interval(); }
    // Settable from code only; the button paints its text like any button.
    virtual void SetForeImage(const std::wstring& image) { m_foreImage = image; }
    virtual std::wstring GetForeImage() const { return m_foreImage; }
    virtual void SetHotForeImage(const std::wstring& image) { m_hotForeImage = image; }
    virtual std::wstring GetHotForeImage() const { return m_hotForeImage; }
    virtual void SetSequenceTextPadding(const RECT& padding) { m_sequenceTextPadding = padding; }
    virtual RECT GetSequenceTextPadding() const { return m_sequenceTextPadding; }

    void Start() { m_player.Start(*this); }
    void Stop() { m_player.Stop(*this); }
    const SequencePlayer& Player() const noexcept { return m_player; }

    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoInit() override;
    void DoEvent(Toolkit::ControlEvent& event) override;

private:
    SequencePlayer m_player;
    std::wstring m_foreImage;
    std::wstring m_hotForeImage;
    RECT m_sequenceTextPadding {};
};
