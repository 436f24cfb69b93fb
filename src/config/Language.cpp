#include "config/Language.h"

#include <json/json.h>

#include <memory>

#include "utils/FileSystem.h"
#include "utils/Text.h"

namespace Utils {
namespace {

constexpr const char* kCodes[kLanguageCount] = { "en-US", "zh-CN", "zh-TW", "id-ID", "tr-TR", "de-DE", "fr-FR", "es-ES",
    "pt-PT", "ja-JP", "ko-KR", "pl-PL", "nl-NL", "it-IT", "ru-RU" };

// Conversions that throw on unexpected JSON types give the default value instead.
std::string MemberText(const Json::Value& entry, const std::string& key)
{
    try {
        return entry[key].asString();
    } catch (const std::exception&) {
        return {};
    }
}

int MemberInt(const Json::Value& entry, const char* key)
{
    try {
        return entry[key].asInt();
    } catch (const std::exception&) {
        return 0;
    }
}

// False when the document does not parse. jsoncpp throws for some (one nested deeper than its
// stack limit): those do not parse either.
bool ParseTable(const std::string& document, Json::Value& root)
{
    try {
        Json::CharReaderBuilder builder;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        std::string errors;
        return reader->parse(document.data(), document.data() + document.size(), &root, &errors);
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

const std::array<std::string, kLanguageCount>& LocaleCodes()
{
    static const std::array<std::string, kLanguageCount> codes = [] {
        std::array<std::string, kLanguageCount> result;
        for (int i = 0; i < kLanguageCount; ++i) {
            result[i] = kCodes[i];
        }
        return result;
    }();
    return codes;
}

const std::array<std::wstring, kLanguageCount>& LocaleCodesWide()
{
    static const std::array<std::wstring, kLanguageCount> codes = [] {
        std::array<std::wstring, kLanguageCount> result;
        for (int i = 0; i < kLanguageCount; ++i) {
            result[i] = MultiByteToWide(kCodes[i], CP_ACP);
        }
        return result;
    }();
    return codes;
}

int UiLanguageTable(LANGID language)
{
    switch (language) {
    case 1033:
        return 0;
    case 1028:
        return 2;
    case 1057:
        return 3;
    case 1055:
        return 4;
    case 1031:
        return 5;
    case 1036:
        return 6;
    case 1046:
        return 8;
    case 1041:
        return 9;
    case 1042:
        return 10;
    case 1045:
        return 11;
    case 1043:
    case 2067:
        return 12;
    case 1040:
        return 13;
    case 1049:
        return 14;
    default:
        break;
    }
    // Every Spanish variant: 1034 and 2058 to 20490 in steps of 1024.
    if (language == 1034 || (language >= 2058 && language <= 20490 && (language - 2058) % 1024 == 0)) {
        return 7;
    }
    return 0;
}

std::wstring InstallLanguageCode(int selection)
{
    if (selection < 0 || selection >= kLanguageCount) {
        return {};
    }
    return LocaleCodesWide()[static_cast<std::size_t>(selection)];
}

int LoadLanguage(LanguageTexts& texts, int index, const std::wstring& code)
{
    std::string document;
    if (!texts.ReadSkinFile(L"language.json", document) || document.empty()
        || document.size() > kMaxLanguageFileBytes) {
        return 0;
    }

    if (!code.empty()) {
        const std::string narrow = WideToMultiByte(code, CP_ACP);
        for (int i = 0; i < kLanguageCount; ++i) {
            if (LocaleCodes()[static_cast<std::size_t>(i)] == narrow) {
                index = i;
                break;
            }
        }
    } else if (index < 0 || index >= kLanguageCount) {
        index = 0;
    }
    // A code that is not in the table keeps a caller's index, which may be out of range.
    if (index < 0 || index >= kLanguageCount) {
        return index;
    }

    Json::Value root;
    if (!ParseTable(document, root)) {
        return index;
    }
    if (!root.isArray() && !root.isObject()) {
        return index;
    }
    const std::string& locale = LocaleCodes()[static_cast<std::size_t>(index)];
    for (const Json::Value& entry : root) {
        if (!entry.isObject()) {
            continue;
        }
        const std::wstring text = Utf8ToWide(MemberText(entry, locale));
        texts.SetText(std::to_wstring(MemberInt(entry, "id")), text);
    }
    return index;
}

int InitialLanguageIndex(int configured, LANGID uiLanguage)
{
    const int index = configured == -1 ? UiLanguageTable(uiLanguage) : configured;
    return index >= 0 && index < kLanguageCount ? index : 0;
}

int RecordedLanguageIndex(const std::wstring& folder, int current)
{
    // Only a recorded language overrides: a copy that recorded none (no file, no key)
    // leaves "-language" or the system's language in force.
    const std::wstring path = folder + L"\\config.ini";
    if (!PathExists(path)) {
        return current;
    }
    wchar_t buffer[MAX_PATH] = {};
    ::GetPrivateProfileStringW(L"Install", L"Language", L"", buffer, MAX_PATH, path.c_str());
    const std::wstring code = buffer;
    const auto& codes = LocaleCodesWide();
    for (int index = 0; index < kLanguageCount; ++index) {
        if (!code.empty() && codes[static_cast<std::size_t>(index)] == code) {
            return index;
        }
    }
    return current;
}

int LoadLanguageFromConfig(LanguageTexts& texts, const std::wstring& folder, int current)
{
    const int index = LoadLanguage(texts, RecordedLanguageIndex(folder, current), L"");
    texts.ReapplyTexts();
    return index;
}

} // namespace Utils
