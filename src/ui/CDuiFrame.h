#pragma once

#include "toolkit/WindowImplBase.h"
#include "toolkit/WndShadow.h"
#include "ui/FrameParams.h"

// The base of the installer's windows: answers the toolkit's skin questions from its
// FrameParams, adds the layout's drop shadow, and keeps Escape from closing anything.
class CDuiFrame : public Toolkit::WindowImplBase {
public:
    explicit CDuiFrame(FrameParams params);
    ~CDuiFrame() override;

    const FrameParams& GetFrameParams() const noexcept { return m_params; }
    Toolkit::CWndShadow& GetShadow() noexcept { return m_shadow; }

    void InitWindow() override;
    void OnScaleChanged() override;
    // The installer's extra elements: "SequenceLabel" and "SequenceButton".
    Toolkit::CControlUI* CreateControl(const wchar_t* className) override;
    LRESULT MessageHandler(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

protected:
    std::wstring GetSkinFolder() override { return m_params.skinFolder; }
    std::wstring GetSkinFile() override { return m_params.skinFile; }
    std::wstring GetWindowClassName() const override { return m_params.windowClassName; }
    Toolkit::ResourceKind GetResourceType() const override
    {
        return static_cast<Toolkit::ResourceKind>(m_params.resourceKind);
    }
    int GetResourceID() const override { return m_params.resourceId; }
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The skin draws its own caption: no system caption or maximise box, children clipped,
    // never topmost.
    void ApplySkinnedStyle();
    // Reads the layout's "shadow..." attributes; false when the layout asks for none.
    bool ConfigureShadow();

private:
    FrameParams m_params;
    Toolkit::CWndShadow m_shadow;
};
