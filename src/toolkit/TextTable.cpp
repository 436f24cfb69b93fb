#include "toolkit/TextTable.h"

#include <map>

#include "toolkit/Control.h"

namespace Toolkit {
namespace {

std::map<std::wstring, std::wstring, std::less<>>& Table()
{
    static std::map<std::wstring, std::wstring, std::less<>> table;
    return table;
}

} // namespace

void SetLanguageText(std::wstring_view id, std::wstring text)
{
    Table()[std::wstring(id)] = std::move(text);
}

void SetLanguageText(int id, std::wstring text)
{
    SetLanguageText(std::to_wstring(id), std::move(text));
}

const std::wstring* FindLanguageText(std::wstring_view id)
{
    const auto it = Table().find(id);
    return it == Table().end() ? nullptr : &it->second;
}

void ClearLanguageTexts()
{
    Table().clear();
}

int ApplyLanguageTexts(CControlUI* root)
{
    if (!root) {
        return 0;
    }
    int changed = 0;
    if (!root->GetTextId().empty()) {
        if (const std::wstring* text = FindLanguageText(root->GetTextId())) {
            root->SetText(*text);
            ++changed;
        }
    }
    if (!root->GetAccNameId().empty()) {
        if (const std::wstring* name = FindLanguageText(root->GetAccNameId())) {
            root->SetAccName(*name);
        }
    }
    for (int i = 0; i < root->GetChildCount(); ++i) {
        changed += ApplyLanguageTexts(root->GetChildAt(i));
    }
    return changed;
}

} // namespace Toolkit
