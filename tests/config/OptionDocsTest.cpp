// The option table against what an administrator reads: docs/settings.md's tables and "-help"
// name every option with its key (or none) and its values, every machine policy with its type,
// and every exit code the program has is explained in both.
#include <gtest/gtest.h>

#include <cwchar>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "app/HelpText.h"
#include "config/OptionTable.h"
#include "support/TempDir.h"
#include "utils/Text.h"

using namespace Config;

namespace {

std::wstring SourceFile(const char* path)
{
    const std::string bytes = TestSupport::ReadFileBytes(
        Utils::MultiByteToWide(VLM_SOURCE_DIR, CP_UTF8) + L"/" + Utils::MultiByteToWide(path, CP_UTF8));
    return Utils::MultiByteToWide(bytes, CP_UTF8);
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wistringstream stream(text);
    for (std::wstring line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The lines of the table whose header row starts with header.
std::vector<std::wstring> TableRows(const std::wstring& text, const std::wstring& header)
{
    std::vector<std::wstring> rows;
    bool inside = false;
    for (const std::wstring& line : Lines(text)) {
        if (line.rfind(header, 0) == 0) {
            inside = true;
        } else if (inside && line.rfind(L"|", 0) != 0) {
            break;
        } else if (inside && line.rfind(L"|---", 0) != 0) {
            rows.push_back(line);
        }
    }
    return rows;
}

// "| `-help`, `/?` | …" → "-help"
std::wstring FirstCell(const std::wstring& row)
{
    const std::size_t open = row.find(L'`');
    return open == std::wstring::npos ? L"" : row.substr(open + 1, row.find(L'`', open + 1) - open - 1);
}

std::wstring Cell(const std::wstring& row, int index)
{
    std::size_t from = 0;
    for (int i = 0; i <= index; ++i) {
        from = row.find(L'|', from) + 1;
    }
    return Utils::Trim(std::wstring_view(row).substr(from, row.find(L'|', from) - from));
}

} // namespace

TEST(OptionDocs, SettingsPageListsEveryOptionWithItsKeyAndValues)
{
    const std::wstring page = SourceFile("docs/settings.md");
    const auto options = TableRows(page, L"| option | settings-file key |");
    const auto keys = TableRows(page, L"| key | default when the file exists");
    ASSERT_FALSE(options.empty());
    ASSERT_FALSE(keys.empty());

    std::set<std::wstring> documented;
    for (const std::wstring& row : options) {
        const OptionRow* option = FindOption(FirstCell(row));
        ASSERT_NE(option, nullptr) << "the page names an option the installer does not know: " << row;
        ASSERT_NE(option->option, nullptr) << row;
        documented.insert(option->option);
        EXPECT_EQ(Cell(row, 1), option->hasKey ? L"`" + std::wstring(option->name) + L"`" : L"no key") << row;
        if (option->values) {
            // The literal values (not the placeholders in capitals) are named.
            const std::wstring values = option->values;
            const std::wregex literal(L"[a-z][a-z:]*");
            for (std::wsregex_iterator it(values.begin(), values.end(), literal), end; it != end; ++it) {
                const std::wstring value = it->str();
                {
                    EXPECT_NE(row.find(L"`" + value), std::wstring::npos) << value << " in " << row;
                }
            }
        }
        // Which rule a switch follows.
        if (option->accepted && std::wstring(option->accepted) == L"only true or false") {
            EXPECT_NE(row.find(L"exactly `true` or `false`"), std::wstring::npos) << row;
        } else if (option->values && std::wstring(option->values) == L"true") {
            EXPECT_NE(row.find(L"`true` only for exactly `true`"), std::wstring::npos) << row;
        }
    }
    std::set<std::wstring> keyRows;
    for (const std::wstring& row : keys) {
        const OptionRow* option = FindOption(FirstCell(row));
        ASSERT_NE(option, nullptr) << "the page names a key the installer does not read: " << row;
        EXPECT_TRUE(option->hasKey) << row;
        keyRows.insert(option->name);
    }
    for (const OptionRow& row : OptionTable()) {
        if (row.option) {
            EXPECT_EQ(documented.count(row.option), 1u) << "missing from the page's options: " << row.option;
        }
        EXPECT_EQ(keyRows.count(row.name), row.hasKey ? 1u : 0u) << "the page's keys and " << row.name;
    }
}

// The administrator's list of machine policies is the table's: each value by its name and its
// registry type, and none that the installer does not read.
TEST(OptionDocs, SettingsPageListsEveryMachinePolicyWithItsType)
{
    const auto rows = TableRows(SourceFile("docs/settings.md"), L"| policy value | type |");
    std::map<std::wstring, std::wstring> documented;
    for (const std::wstring& row : rows) {
        documented[FirstCell(row)] = Cell(row, 1);
    }
    std::map<std::wstring, std::wstring> table;
    for (const OptionRow& row : OptionTable()) {
        if (row.policy.type != PolicyType::None) {
            table[row.policy.name] = row.policy.type == PolicyType::Text ? L"REG_SZ" : L"REG_DWORD";
        }
    }
    EXPECT_FALSE(table.empty());
    EXPECT_EQ(documented, table);
}

TEST(OptionDocs, EveryExitCodeIsExplainedOnThePageAndInTheHelp)
{
    const std::wstring header = SourceFile("src/config/ExitCodes.h");
    const std::wstring page = SourceFile("docs/settings.md");
    const auto pageRows = TableRows(page, L"| code | meaning: every cause |");
    const std::wstring help = App::HelpText();
    std::set<std::wstring> codes;
    const std::wregex constant(L"inline constexpr int k\\w+ = (-?\\d+);");
    for (std::wsregex_iterator it(header.begin(), header.end(), constant), end; it != end; ++it) {
        codes.insert((*it)[1]);
    }
    ASSERT_GE(codes.size(), 15u);
    for (const std::wstring& code : codes) {
        bool onPage = false;
        for (const std::wstring& row : pageRows) {
            onPage = onPage || row.rfind(L"| " + code + L" ", 0) == 0;
        }
        EXPECT_TRUE(onPage) << "exit code " << code << " on the page";
        EXPECT_TRUE(std::regex_search(help, std::wregex(L"\n +" + code + L"  \\S")))
            << "exit code " << code << " in the help";
    }
    for (const std::wstring& line : Lines(help)) {
        EXPECT_LE(line.size(), 79u) << line;
    }
    // The help says which options have no key in the settings file.
    const std::wstring words = std::regex_replace(help, std::wregex(L"\\s+"), L" ");
    const std::size_t noKey = words.find(L"No key, the command line only: ");
    ASSERT_NE(noKey, std::wstring::npos) << words;
    const std::size_t from = noKey + std::wcslen(L"No key, the command line only: ");
    std::set<std::wstring> listed;
    const std::wstring list = words.substr(from, words.find(L'.', from) - from);
    const std::wregex name(L"[-/][a-z?]+");
    for (std::wsregex_iterator it(list.begin(), list.end(), name), end; it != end; ++it) {
        listed.insert(it->str());
    }
    for (const OptionRow& row : OptionTable()) {
        if (row.option && row.show != LogShow::Omitted) {
            EXPECT_EQ(listed.count(row.option), row.hasKey ? 0u : 1u) << row.option << " in " << list;
        }
    }
}
