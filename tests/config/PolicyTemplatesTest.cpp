// The Group Policy templates an administrator loads against the option table: well-formed,
// one policy for each value the installer reads, of its registry type, under the key it reads;
// and both languages define every text and form the template names, the Chinese one in Chinese.
#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <map>
#include <set>

#include "config/MachinePolicy.h"
#include "config/OptionTable.h"
#include "support/TempDir.h"
#include "utils/Text.h"

using namespace Config;

namespace {

constexpr const char* kLanguages[] = { "policy/en-US/Vellumora.adml", "policy/zh-CN/Vellumora.adml" };

bool Load(pugi::xml_document& document, const char* path)
{
    const std::string bytes = TestSupport::ReadFileBytes(
        Utils::MultiByteToWide(VLM_SOURCE_DIR, CP_UTF8) + L"/" + Utils::MultiByteToWide(path, CP_UTF8));
    const pugi::xml_parse_result parsed
        = document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8);
    EXPECT_FALSE(bytes.empty()) << path;
    EXPECT_TRUE(parsed) << path << ": " << parsed.description() << " at byte " << parsed.offset;
    return !bytes.empty() && parsed;
}

// "$(string.Name)" → "Name" for kind "string"; "" for anything else.
std::wstring Reference(const wchar_t* text, const std::wstring& kind)
{
    const std::wstring value = text;
    const std::wstring open = L"$(" + kind + L".";
    return value.rfind(open, 0) == 0 && value.back() == L')' ? value.substr(open.size(), value.size() - open.size() - 1)
                                                             : std::wstring();
}

// What the template says of one policy.
struct Shape {
    PolicyType type = PolicyType::None;
    std::set<std::wstring> elements; // the ids its form must show
    std::wstring presentation;
};

// A registry value an element writes: REG_SZ text, or a REG_DWORD number.
PolicyType ElementType(const pugi::xml_node& element)
{
    const std::wstring kind = element.name();
    if (kind == L"text") {
        return PolicyType::Text;
    }
    if (kind == L"decimal") {
        return PolicyType::Number;
    }
    if (kind == L"enum") {
        std::set<PolicyType> items;
        for (const pugi::xml_node& item : element.children(L"item")) {
            const pugi::xml_node value = item.child(L"value");
            items.insert(value.child(L"decimal") ? PolicyType::Number
                    : value.child(L"string")     ? PolicyType::Text
                                                 : PolicyType::None);
        }
        return items.size() == 1 ? *items.begin() : PolicyType::None;
    }
    return PolicyType::None;
}

} // namespace

TEST(PolicyTemplates, EveryPolicyTheInstallerReadsAndNoOther)
{
    pugi::xml_document admx;
    ASSERT_TRUE(Load(admx, "policy/Vellumora.admx"));
    const pugi::xml_node root = admx.child(L"policyDefinitions");
    ASSERT_TRUE(root);

    std::set<std::wstring> strings; // every "$(string.…)" the template names
    std::set<std::wstring> categories;
    std::set<std::wstring> supported;
    for (const pugi::xml_node& category : root.child(L"categories").children(L"category")) {
        categories.insert(category.attribute(L"name").value());
        strings.insert(Reference(category.attribute(L"displayName").value(), L"string"));
    }
    for (const pugi::xml_node& definition : root.child(L"supportedOn").child(L"definitions").children(L"definition")) {
        supported.insert(definition.attribute(L"name").value());
        strings.insert(Reference(definition.attribute(L"displayName").value(), L"string"));
    }

    std::map<std::wstring, Shape> values; // by registry value name
    std::map<std::wstring, Shape> forms; // by presentation
    for (const pugi::xml_node& policy : root.child(L"policies").children(L"policy")) {
        const std::wstring name = policy.attribute(L"name").value();
        SCOPED_TRACE(Utils::WideToMultiByte(name, CP_UTF8));
        EXPECT_EQ(std::wstring(policy.attribute(L"key").value()), kPolicyKey);
        EXPECT_EQ(std::wstring(policy.attribute(L"class").value()), L"Machine");
        EXPECT_EQ(categories.count(policy.child(L"parentCategory").attribute(L"ref").value()), 1u);
        EXPECT_EQ(supported.count(policy.child(L"supportedOn").attribute(L"ref").value()), 1u);
        strings.insert(Reference(policy.attribute(L"displayName").value(), L"string"));
        strings.insert(Reference(policy.attribute(L"explainText").value(), L"string"));

        Shape shape;
        shape.presentation = Reference(policy.attribute(L"presentation").value(), L"presentation");
        if (const pugi::xml_attribute valueName = policy.attribute(L"valueName")) {
            // A switch: enabled writes 1, disabled 0, as the installer reads them.
            const bool oneZero
                = std::wstring(policy.child(L"enabledValue").child(L"decimal").attribute(L"value").value()) == L"1"
                && std::wstring(policy.child(L"disabledValue").child(L"decimal").attribute(L"value").value()) == L"0";
            shape.type = oneZero ? PolicyType::Switch : PolicyType::None;
            EXPECT_TRUE(values.emplace(valueName.value(), shape).second) << "twice";
        }
        for (const pugi::xml_node& element : policy.child(L"elements").children()) {
            Shape value;
            value.type = ElementType(element);
            EXPECT_TRUE(values.emplace(element.attribute(L"valueName").value(), value).second) << "twice";
            shape.elements.insert(element.attribute(L"id").value());
            for (const pugi::xml_node& item : element.children(L"item")) {
                strings.insert(Reference(item.attribute(L"displayName").value(), L"string"));
            }
        }
        EXPECT_EQ(shape.presentation.empty(), shape.elements.empty()) << "a form exactly for a policy with values";
        if (!shape.presentation.empty()) {
            forms[shape.presentation] = shape;
        }
    }

    std::map<std::wstring, PolicyType> table;
    for (const OptionRow& row : OptionTable()) {
        if (row.policy.type != PolicyType::None) {
            table[row.policy.name] = row.policy.type;
        }
    }
    std::map<std::wstring, PolicyType> templated;
    for (const auto& [name, shape] : values) {
        templated[name] = shape.type;
    }
    EXPECT_EQ(templated, table) << "the template's values and their types are the option table's";

    EXPECT_EQ(strings.count(L""), 0u) << "every text is a $(string.…) reference";
    for (const char* language : kLanguages) {
        SCOPED_TRACE(language);
        pugi::xml_document adml;
        ASSERT_TRUE(Load(adml, language));
        const pugi::xml_node resources = adml.child(L"policyDefinitionResources").child(L"resources");
        std::map<std::wstring, std::wstring> defined;
        for (const pugi::xml_node& text : resources.child(L"stringTable").children(L"string")) {
            defined[text.attribute(L"id").value()] = text.text().get();
        }
        for (const std::wstring& id : strings) {
            EXPECT_EQ(defined.count(id), 1u) << "string " << Utils::WideToMultiByte(id, CP_UTF8);
        }
        std::map<std::wstring, std::set<std::wstring>> shown;
        for (const pugi::xml_node& presentation : resources.child(L"presentationTable").children(L"presentation")) {
            auto& refs = shown[presentation.attribute(L"id").value()];
            for (const pugi::xml_node& control : presentation.children()) {
                refs.insert(control.attribute(L"refId").value());
            }
        }
        for (const auto& [id, shape] : forms) {
            EXPECT_EQ(shown[id], shape.elements) << "presentation " << Utils::WideToMultiByte(id, CP_UTF8);
        }
        if (std::string(language).find("zh-CN") != std::string::npos) {
            for (const auto& [id, text] : defined) {
                if (id.size() > 5 && id.compare(id.size() - 5, 5, L"_Help") == 0) {
                    bool chinese = false;
                    for (const wchar_t c : text) {
                        chinese = chinese || (c >= 0x4E00 && c <= 0x9FFF);
                    }
                    EXPECT_TRUE(chinese) << Utils::WideToMultiByte(id, CP_UTF8) << " is not in Chinese";
                }
            }
        }
    }
}
