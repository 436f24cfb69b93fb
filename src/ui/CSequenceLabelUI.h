#pragma once

#include "toolkit/Label.h"
#include "ui/SequencePlayer.h"

// A label that plays a numbered series of background images on a timer.
class CSequenceLabelUI : public Toolkit::CLabelUI {
public:
    static constexpr UINT TIMER_SEQUENCE = SequencePlayer::TIMER_SEQUENCE;

    CSequenceLabelUI();
    ~CSequenceLabelUI() override;

    std::wstring_view GetClass() const override { return L"SequenceLabel"; }
    void* GetInterface(std::wstring_view name) override;

    virtual void SetSequenceImage(const std::wstring& pattern) { m_player.SetPattern(pattern); }
    virtual std::wstring GetSequenceImage() const { return m_player.Pattern(); }
    virtual void SetSequenceCount(int count) { m_player.SetCount(count); }
    virtual int GetSequenceCount() const { return m_player.Count(); }
    virtual void SetSequenceSpan(int interval) { m_player.SetInterval(interval); }
    virtual int GetSequenceSpan() const { return m_player.Interval(); }

    void Start() { m_player.Start(*this); }
    void Stop() { m_player.Stop(*this); }
    const SequencePlayer& Player() const noexcept { return m_player; }

    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    void DoInit() override;
    void DoEvent(Toolkit::ControlEvent& event) override;

private:
    SequencePlayer m_player;
};
