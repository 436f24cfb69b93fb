#include <gtest/gtest.h>

#include <map>

#include "config/Language.h"
#include "support/TempDir.h"

namespace {

// Stands in for the window toolkit: a skin with one optional language.json.
class FakeTexts : public Utils::LanguageTexts {
public:
    bool hasFile = true;
    std::string json;
    std::map<std::wstring, std::wstring> table;
    int reapplied = 0;

    bool ReadSkinFile(const std::wstring& name, std::string& bytes) override
    {
        if (!hasFile || name != L"language.json") {
            return false;
        }
        bytes = json;
        return true;
    }
    void SetText(const std::wstring& id, const std::wstring& text) override { table[id] = text; }
    void ReapplyTexts() override { ++reapplied; }
};

const char* kTable = R"([
  {"id": 1, "en-US": "Install", "zh-CN": "\u5b89\u88c5", "de-DE": "Installieren", "es-ES": "Instalar"},
  {"id": 2, "en-US": "Emoji \ud83d\ude00", "de-DE": "Pfad"},
  {"id": "x", "en-US": {"nested": 1}}
])";

} // namespace

TEST(Language, SystemLanguageMapsToAnIndex)
{
    EXPECT_EQ(Utils::UiLanguageTable(1033), 0);
    EXPECT_EQ(Utils::UiLanguageTable(2052), 0) << "Simplified Chinese is never picked from the system";
    EXPECT_EQ(Utils::UiLanguageTable(2070), 0);
    EXPECT_EQ(Utils::UiLanguageTable(3082), 7);
    EXPECT_EQ(Utils::UiLanguageTable(20490), 7);
    EXPECT_EQ(Utils::UiLanguageTable(20491), 0);
    EXPECT_EQ(Utils::UiLanguageTable(2067), 12);
    EXPECT_EQ(Utils::UiLanguageTable(1049), 14);
    EXPECT_EQ(Utils::InstallLanguageCode(5), L"de-DE");
    EXPECT_EQ(Utils::InstallLanguageCode(15), L"");
    EXPECT_EQ(Utils::InstallLanguageCode(-1), L"");
}

TEST(Language, LoadsTheChosenLocaleAndFallsBackToEnglishForBadIndexes)
{
    FakeTexts texts;
    texts.json = kTable;
    EXPECT_EQ(Utils::LoadLanguage(texts, 5, L""), 5);
    EXPECT_EQ(texts.table[L"1"], L"Installieren");
    EXPECT_EQ(texts.table[L"2"], L"Pfad");

    EXPECT_EQ(Utils::LoadLanguage(texts, 99, L""), 0);
    EXPECT_EQ(texts.table[L"1"], L"Install");
    EXPECT_EQ(texts.table[L"2"], L"") << "characters beyond U+FFFF empty the text";
    EXPECT_EQ(texts.table[L"0"], L"") << "an entry with unusable values gets the defaults";

    EXPECT_EQ(Utils::LoadLanguage(texts, 3, L"zh-CN"), 1) << "a known code wins over the index";
    EXPECT_EQ(texts.table[L"1"], L"\u5b89\u88c5");
    EXPECT_EQ(Utils::LoadLanguage(texts, 7, L"xx-XX"), 7) << "an unknown code keeps the index";
    EXPECT_EQ(texts.table[L"1"], L"Instalar");
}

TEST(Language, IgnoresMissingHugeAndBrokenTables)
{
    FakeTexts texts;
    texts.hasFile = false;
    EXPECT_EQ(Utils::LoadLanguage(texts, 5, L""), 0);

    texts.hasFile = true;
    texts.json = std::string(5 * 1024 * 1024, ' ') + kTable;
    EXPECT_EQ(Utils::LoadLanguage(texts, 5, L""), 0);
    EXPECT_TRUE(texts.table.empty());

    texts.json = "[{\"id\": 1, \"de-DE\": \"x\"";
    EXPECT_EQ(Utils::LoadLanguage(texts, 5, L""), 5);
    EXPECT_TRUE(texts.table.empty()) << "a document that does not parse loads nothing";

    // Valid, but nested deeper than the parser's stack limit, which makes it throw.
    texts.json = std::string(5000, '[') + std::string(5000, ']');
    EXPECT_EQ(Utils::LoadLanguage(texts, 5, L""), 5);
    EXPECT_TRUE(texts.table.empty());
}

TEST(Language, InstalledCopyConfigPicksTheLanguageOnlyWhenItRecordsOne)
{
    TestSupport::TempDir dir;
    FakeTexts texts;
    texts.json = kTable;
    ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"config.ini", "[Install]\r\nLanguage=de-DE\r\n"));
    EXPECT_EQ(Utils::LoadLanguageFromConfig(texts, dir.Path(), 14), 5);
    EXPECT_EQ(texts.reapplied, 1);
    EXPECT_EQ(texts.table[L"1"], L"Installieren");

    // "-language=5" (or the system's language) stays in force unless a language is recorded.
    const struct {
        const char* config; // nullptr: no config.ini
        int expected;
    } cases[] = { { nullptr, 5 }, { "[Install]\r\n", 5 }, { "[Install]\r\nLanguage=xx-XX\r\n", 5 },
        { "[Install]\r\nLanguage=ru-RU\r\n", 14 }, { "[Install]\r\nLanguage=en-US\r\n", 0 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config ? c.config : "no config.ini");
        ::DeleteFileW((dir / L"config.ini").c_str());
        if (c.config) {
            ASSERT_TRUE(TestSupport::WriteFileBytes(dir / L"config.ini", c.config));
        }
        EXPECT_EQ(Utils::RecordedLanguageIndex(dir.Path(), 5), c.expected);
    }
    EXPECT_EQ(Utils::InitialLanguageIndex(5, 1049), 5);
    EXPECT_EQ(Utils::InitialLanguageIndex(-1, 1049), 14);
    EXPECT_EQ(Utils::InitialLanguageIndex(99, 1049), 0);
}
