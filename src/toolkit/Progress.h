#pragma once

#include "toolkit/Label.h"

namespace Toolkit {

// A horizontal bar: the background image, then the fore image over the filled share of
// the width (value between min and max, 0..100 by default), both nine-sliced by corners.
class CProgressUI : public CLabelUI {
public:
    std::wstring_view GetClass() const override { return L"Progress"; }
    void* GetInterface(std::wstring_view name) override;

    int GetValue() const noexcept { return m_value; }
    void SetValue(int value);
    int GetMinValue() const noexcept { return m_min; }
    int GetMaxValue() const noexcept { return m_max; }
    const std::wstring& GetForeImage() const noexcept { return m_foreImageText; }
    void SetForeImage(const std::wstring& image);

    bool SetAttribute(std::wstring_view name, std::wstring_view value) override;
    // Width of the filled part for the current value (for tests and hit areas).
    int FilledWidth() const;

protected:
    void PaintStatusImage(Painter& painter) override;

    int m_value = 0;
    int m_min = 0;
    int m_max = 100;
    std::wstring m_foreImageText;
    ImageRef m_foreImage;
};

} // namespace Toolkit
