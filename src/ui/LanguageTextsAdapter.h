#pragma once

#include "config/Language.h"
#include "toolkit/PaintManager.h"

// Language selection's view of the toolkit: the skin archive, the text table and the
// controls of one window (none: the table alone, for the windows made after it).
class LanguageTextsAdapter : public Utils::LanguageTexts {
public:
    LanguageTextsAdapter() = default;
    explicit LanguageTextsAdapter(Toolkit::PaintManager& manager)
        : m_manager(&manager)
    {
    }

    bool ReadSkinFile(const std::wstring& name, std::string& bytes) override;
    void SetText(const std::wstring& id, const std::wstring& text) override;
    void ReapplyTexts() override;

private:
    Toolkit::PaintManager* m_manager = nullptr;
};
