#pragma once

#include <windows.h>

#include <array>
#include <string>

namespace Utils {

inline constexpr int kLanguageCount = 15;
inline constexpr std::size_t kMaxLanguageFileBytes = 4194304;

// Locale codes by language index, in the two forms the installer needs: narrow for the
// keys of language.json, wide for the package's command line.
const std::array<std::string, kLanguageCount>& LocaleCodes();
const std::array<std::wstring, kLanguageCount>& LocaleCodesWide();

// Language index for a Windows user-interface language; 0 for any language not listed.
int UiLanguageTable(LANGID language);

// The locale code handed to the package for a list selection; empty outside 0..14.
std::wstring InstallLanguageCode(int selection);

// What language selection needs from the window toolkit.
class LanguageTexts {
public:
    virtual ~LanguageTexts() = default;
    // One file out of the skin archive; false when it is missing or cannot be extracted.
    virtual bool ReadSkinFile(const std::wstring& name, std::string& bytes) = 0;
    // Replaces the text stored for an identifier (its decimal form) in the text table.
    virtual void SetText(const std::wstring& id, const std::wstring& text) = 0;
    // Shows the table's texts again in the window's controls.
    virtual void ReapplyTexts() = 0;
};

// Loads one language's texts from the skin's language.json into the text table and returns
// the index used: the entry of code when code is known, else index (0 when out of range).
int LoadLanguage(LanguageTexts& texts, int index, const std::wstring& code);

// The first choice: the "-language" index when one was given (configured is not -1), else
// the system's user-interface language; 0 when out of range.
int InitialLanguageIndex(int configured, LANGID uiLanguage);

// The language an installed copy recorded in folder\config.ini ([Install] Language) when it
// recorded one this table knows; otherwise current, the choice already in force.
int RecordedLanguageIndex(const std::wstring& folder, int current);

// Loads RecordedLanguageIndex(folder, current) and re-applies texts; returns that index.
int LoadLanguageFromConfig(LanguageTexts& texts, const std::wstring& folder, int current);

} // namespace Utils
