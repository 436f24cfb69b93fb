#pragma once

#include <string>
#include <string_view>

namespace Toolkit {

class CControlUI;

// The multi-language text table: texts by identifier, process-wide, UI thread. A layout
// control with `textid="12"` takes the text stored under "12" whenever the texts of its
// tree are applied; without an entry it keeps the layout's own "text".
void SetLanguageText(std::wstring_view id, std::wstring text);
void SetLanguageText(int id, std::wstring text);
// nullptr when the table has no text for id.
const std::wstring* FindLanguageText(std::wstring_view id);
void ClearLanguageTexts();
// Gives every control of the tree with a textid its table text (and with an accnameid its
// accessible name); returns how many texts changed.
int ApplyLanguageTexts(CControlUI* root);

} // namespace Toolkit
