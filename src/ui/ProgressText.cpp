#include "ui/ProgressText.h"

#include "ui/SequenceFrames.h"
#include "ui/UiTexts.h"

std::wstring ProgressText(const std::wstring& pattern, int percent, float elapsedSeconds)
{
    // The layout's pattern, else the built-in one or its translation. Each is data, not
    // code: only its one integer conversion is filled in, so a stray %s cannot read past
    // the arguments.
    const std::wstring format = !pattern.empty()
        ? pattern
        : LocalText(elapsedSeconds > 60.0f ? UiTexts::kProgressLong : UiTexts::kProgressShort);
    std::wstring text = FormatFramePattern(format, percent);
    if (text.size() > 249) {
        text.resize(249);
    }
    return text;
}
