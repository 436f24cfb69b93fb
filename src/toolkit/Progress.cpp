#include "toolkit/Progress.h"

#include <algorithm>

#include "toolkit/Attributes.h"
#include "toolkit/PaintManager.h"
#include "toolkit/Painter.h"

namespace Toolkit {

void* CProgressUI::GetInterface(std::wstring_view name)
{
    return EqualsNoCase(name, L"Progress") ? this : CLabelUI::GetInterface(name);
}

void CProgressUI::SetValue(int value)
{
    value = std::clamp(value, m_min, m_max);
    if (value == m_value) {
        return;
    }
    m_value = value;
    Invalidate();
    if (m_manager) {
        m_manager->NotifyAccessible(EVENT_OBJECT_VALUECHANGE, this);
    }
}

void CProgressUI::SetForeImage(const std::wstring& image)
{
    m_foreImageText = image;
    m_foreImage = ImageRef::Parse(image);
    Invalidate();
}

bool CProgressUI::SetAttribute(std::wstring_view name, std::wstring_view value)
{
    if (EqualsNoCase(name, L"foreimage")) {
        SetForeImage(std::wstring(value));
    } else if (EqualsNoCase(name, L"value")) {
        m_value = ParseInt(value);
    } else if (EqualsNoCase(name, L"min")) {
        m_min = ParseInt(value);
    } else if (EqualsNoCase(name, L"max")) {
        m_max = ParseInt(value);
    } else {
        return CLabelUI::SetAttribute(name, value);
    }
    if (m_max <= m_min) {
        m_max = m_min + 1;
    }
    m_value = std::clamp(m_value, m_min, m_max);
    return true;
}

int CProgressUI::FilledWidth() const
{
    const long long width = m_rect.right - m_rect.left;
    return static_cast<int>(width * (m_value - m_min) / (m_max - m_min));
}

void CProgressUI::PaintStatusImage(Painter& painter)
{
    const int filled = FilledWidth();
    if (filled <= 0) {
        return;
    }
    // Draw the fore image at least as wide as its corners and clip it, so a short bar
    // keeps its rounded ends instead of squashing them.
    const int minimum = GetScale()(m_foreImage.corner.left + m_foreImage.corner.right);
    RECT bar = m_rect;
    bar.right = bar.left + std::max(filled, minimum);
    RECT clip = m_rect;
    clip.right = clip.left + filled;
    Painter::Clip scope(painter, clip);
    painter.DrawImage(bar, m_foreImage);
}

} // namespace Toolkit
