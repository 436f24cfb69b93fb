#include "app/ResultFile.h"

#include <cstdio>
#include <utility>

#include "app/RunLog.h"
#include "config/InstallScope.h"
#include "config/LogFilePath.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"
#include "utils/OutputFile.h"
#include "utils/Text.h"

namespace App {
namespace {

// JSON text of a string: UTF-8 as itself, only the quote, the backslash and control
// characters escaped.
std::string Quoted(const std::wstring& text)
{
    std::string quoted = "\"";
    for (const char c : Utils::WideToMultiByte(text, CP_UTF8)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (byte < 0x20) {
            char escape[8] = {};
            std::snprintf(escape, sizeof(escape), "\\u%04x", byte);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string QuotedOrNull(const std::optional<std::wstring>& text)
{
    return text ? Quoted(*text) : "null";
}

} // namespace

// Written here: the project's JSON library is built to read only (its writers would pull the
// C++ stream library into the program).
std::string ResultFileText(const RunResult& result)
{
    const std::pair<const char*, std::string> members[] = {
        { "exitCode", std::to_string(result.exitCode) },
        { "verdict", QuotedOrNull(result.verdict) },
        { "version", QuotedOrNull(result.version) },
        { "folder", QuotedOrNull(result.folder) },
        { "scope", Quoted(result.scope) },
        { "rebootRequired", result.rebootRequired ? "true" : "false" },
        { "log", QuotedOrNull(result.log) },
        { "packageExitStatus", result.packageExitStatus ? std::to_string(*result.packageExitStatus) : "null" },
    };
    std::string text = "{";
    for (const auto& [name, value] : members) {
        text += text.size() == 1 ? "\n  \"" : ",\n  \"";
        text += name;
        text += "\": ";
        text += value;
    }
    return text + "\n}\n";
}

bool WriteResultFile(const Config::RunSettings& settings, int exitCode, RunResult result)
{
    if (settings.resultFile.empty()) {
        return true;
    }
    result.exitCode = exitCode;
    if (result.scope.empty()) {
        result.scope = Config::ScopeName(settings.scope);
    }
    if (const std::wstring log = RunLogPath(); !log.empty()) {
        result.log = log;
    }
    // Checked once at start-up; the write checks again, and says its refusal in the same words.
    if (!settings.resultFileProblem.empty()) {
        LOG(L"result file '%s' not written: %s\r\n", settings.resultFile.c_str(), settings.resultFileProblem.c_str());
        return false;
    }
    if (const DWORD error = Utils::WriteFileAtomically(settings.resultFilePath, ResultFileText(result));
        error != ERROR_SUCCESS) {
        LOG(L"result file '%s' not written: %s\r\n", settings.resultFilePath.c_str(),
            Config::ReplaceErrorText(error).c_str());
        return false;
    }
    LOG(L"result file written: %s\r\n", settings.resultFilePath.c_str());
    return true;
}

} // namespace App
