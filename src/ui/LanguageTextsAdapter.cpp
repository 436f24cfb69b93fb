#include "ui/LanguageTextsAdapter.h"

#include "toolkit/Control.h"
#include "toolkit/SkinArchive.h"
#include "toolkit/TextTable.h"

bool LanguageTextsAdapter::ReadSkinFile(const std::wstring& name, std::string& bytes)
{
    const auto file = Toolkit::ReadSkinFile(name);
    if (!file) {
        return false;
    }
    bytes.assign(file->begin(), file->end());
    return true;
}

void LanguageTextsAdapter::SetText(const std::wstring& id, const std::wstring& text)
{
    Toolkit::SetLanguageText(id, text);
}

void LanguageTextsAdapter::ReapplyTexts()
{
    if (Toolkit::CControlUI* root = m_manager ? m_manager->GetRoot() : nullptr) {
        Toolkit::ApplyLanguageTexts(root);
        root->NeedUpdate();
    }
}
