#include "config/SettingsReport.h"

#include <windows.h>
#include <shellapi.h>

#include "config/OptionTable.h"
#include "utils/Processes.h"
#include "utils/Redact.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace Config {
namespace {

// The package's command-line addition may carry keys or accounts: its length only, unless
// the settings file asks for the text ("LogInstCmd=true").
std::wstring InstCmdForLog(const std::wstring& value, bool shown)
{
    return shown ? value : L"(" + std::to_wstring(value.size()) + L" characters)";
}

// A value as it may be logged: a URL's sign-in and query hidden, else a password.
std::wstring ValueForLog(const std::wstring& value)
{
    if (value.find(L"://") == std::wstring::npos) {
        return HidePassword(value);
    }
    // A list of addresses (MirrorUrls) is hidden address by address; each address as a whole,
    // blanks included, since a password may hold one.
    std::wstring shown;
    for (std::size_t start = 0;;) {
        const std::size_t semicolon = value.find(L';', start);
        shown += Utils::RedactUrl(value.substr(start, semicolon == std::wstring::npos ? semicolon : semicolon - start));
        if (semicolon == std::wstring::npos) {
            return shown;
        }
        shown += L';';
        start = semicolon + 1;
    }
}

bool IsInstCmdOption(const std::wstring& name)
{
    const std::size_t start = name.find_first_not_of(L"-/");
    return start != std::wstring::npos
        && ::CompareStringOrdinal(name.c_str() + start, static_cast<int>(name.size() - start), L"instcmd", -1, TRUE)
        == CSTR_EQUAL;
}

} // namespace

// "user:password@host:port" → "user:(hidden)@host:port"; a value without both a
// user part and a colon in it holds no password.
std::wstring HidePassword(const std::wstring& value)
{
    return Utils::HidePassword(value);
}

std::wstring CommandLineForLog(const std::wstring& commandLine)
{
    int count = 0;
    Utils::UniqueLocalMem argvMemory(::CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argvMemory) {
        return L"(unreadable)";
    }
    auto* argv = static_cast<wchar_t**>(argvMemory.get());
    std::wstring result;
    for (int i = 0; i < count; ++i) {
        // Every token: "-proxy host" with a space, "/proxy=", a URL's own password and query.
        std::wstring token = argv[i];
        const std::size_t equals = token.find(L'=');
        if (equals == std::wstring::npos) {
            token = ValueForLog(token);
        } else if (IsInstCmdOption(token.substr(0, equals))) {
            token = token.substr(0, equals + 1) + InstCmdForLog(token.substr(equals + 1), false);
        } else {
            token = token.substr(0, equals + 1) + ValueForLog(token.substr(equals + 1));
        }
        if (i > 0) {
            result += L' ';
        }
        result += Utils::QuoteCommandLineArgument(token);
    }
    return result;
}

std::wstring DescribeSettings(const InstallerConfig& config, const RunSettings& settings)
{
    std::wstring text;
    for (const OptionRow& row : OptionTable()) {
        if (row.show == LogShow::Omitted) {
            continue;
        }
        const std::wstring value = row.describe(config, settings);
        text += text.empty() ? L"" : L"; ";
        text += row.name;
        text += L'=';
        switch (row.show) {
        case LogShow::Redacted:
            text += ValueForLog(value);
            break;
        case LogShow::Hidden:
            text += InstCmdForLog(value, config.LogInstCmd);
            break;
        default:
            text += value;
            break;
        }
        if (config.FromPolicy.count(row.name)) {
            text += L" (policy)";
        }
    }
    return text;
}

} // namespace Config
