#include "ui/UiTexts.h"

#include "toolkit/TextTable.h"

std::wstring LocalText(const UiText& text)
{
    // An empty entry (a translation lost in conversion) would show a blank prompt.
    const std::wstring* found = Toolkit::FindLanguageText(std::to_wstring(text.id));
    return found && !found->empty() ? *found : std::wstring(text.literal);
}
