#pragma once

#include "toolkit/Button.h"

namespace Toolkit {

// A button with a selected state: a click toggles it and sends "selectchanged".
// Selected images: selectedimage, selectedhotimage, selectedpushedimage, selecteddisabledimage.
class CCheckBoxUI : public CButtonUI {
public:
    std::wstring_view GetClass() const override { return L"CheckBox"; }
    void* GetInterface(std::wstring_view name) override;

    bool IsSelected() const noexcept { return m_selected; }
    // Changing the state sends "selectchanged" unless sendNotify is false.
    void Selected(bool selected, bool sendNotify = true);
    bool Activate() override;
    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;

protected:
    void PaintStatusImage(Painter& painter) override;
    DWORD SelectedTextColor() const;
    void PaintText(Painter& painter) override;

    bool m_selected = false;
    ImageRef m_selectedImage;
    ImageRef m_selectedHotImage;
    ImageRef m_selectedPushedImage;
    ImageRef m_selectedDisabledImage;
    DWORD m_selectedTextColor = 0;
};

} // namespace Toolkit
