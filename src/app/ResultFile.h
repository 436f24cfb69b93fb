#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "config/RunSettings.h"

namespace App {

// What "-resultfile=" tells a deployment tool about a run; nothing (null) where the run has
// no such fact.
struct RunResult {
    int exitCode = 0;
    std::optional<std::wstring> verdict; // the verdict's name as the log writes it
    std::optional<std::wstring> version; // the version the package reported
    std::optional<std::wstring> folder;
    std::wstring scope; // "user" or "machine"; empty: the run's own
    bool rebootRequired = false;
    std::optional<std::wstring> log; // the log file's path
    std::optional<DWORD> packageExitStatus;
};

// The result as one JSON object in UTF-8 (text beyond ASCII written as itself), a member a
// line in the order above, ending in a line feed.
std::string ResultFileText(const RunResult& result);

// Writes result, completed with exitCode, the scope (the run's own unless result names one) and the log file, to the
// file
// "-resultfile=" names, all or nothing (the file's earlier content stays whole until the new
// one replaces it); logs where, or why not. Nothing without "-resultfile=". Before the log
// file closes; every thread of the run has ended.
// False when it could not be written.
bool WriteResultFile(const Config::RunSettings& settings, int exitCode, RunResult result = {});

} // namespace App
