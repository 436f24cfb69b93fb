#include "app/RunLog.h"

#include <windows.h>

#include "config/ExitCodes.h"
#include "config/LogFilePath.h"
#include "config/PackageTimeLimit.h"
#include "config/SettingsReport.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"
#include "utils/LogFile.h"
#include "utils/ModuleVersion.h"
#include "utils/Redact.h"
#include "utils/SystemProbes.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace App {
namespace {

std::wstring SystemErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    Utils::UniqueLocalMem owner(text);
    return length == 0 ? L"unknown error" : Utils::Trim(std::wstring_view(text, length));
}

// The temporary folder with a name of this run's own.
std::wstring DefaultLogPath()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    return std::wstring(temp) + Config::DefaultLogFileName(now, ::GetCurrentProcessId());
}

void LogFirstLines(const InstallerConfig& config)
{
    const std::wstring version = Utils::ModuleFileVersion();
    LOG(L"Vellumora installer %s (%d-bit)\r\n", version.empty() ? L"(no version resource)" : version.c_str(),
        static_cast<int>(sizeof(void*) * 8));
    LOG(L"system: %s\r\n", Utils::DescribeSystem().c_str());
    LOG(L"command line: %s\r\n", Config::CommandLineForLog(::GetCommandLineW()).c_str());
    LOG(L"settings: %s\r\n", Config::DescribeSettings(config).c_str());
    if (config.PackageTimeout > 0 && Config::PackageTimeoutCountsSeconds()) {
        LOG(L"PackageTimeout counts seconds, not minutes (VLM_TEST_PACKAGETIMEOUT_IN_SECONDS, a test setting)\r\n");
    }
}

const wchar_t* WhatIsAccepted(const std::wstring& field)
{
    if (field == L"MirrorUrls") {
        return L"every mirror must carry DownloadUrl's MD5";
    }
    if (field == L"SettingsFile") {
        return L"the settings file must be readable and at most 1 MiB; its settings are not in force";
    }
    return field == L"PackageTimeout" ? L"a whole number of minutes, 0 for no bound" : L"only true or false";
}

// "-log="'s file, or its refusal, logged (problem set).
Config::LogFilePath ChooseLogFile(const InstallerConfig& config)
{
    Config::LogFilePath chosen = Config::ResolveLogFilePath(config.LogFile, Utils::ModuleDirectory());
    if (!chosen.problem.empty()) {
        LOG(L"log file '%s' refused: %s\r\n", config.LogFile.c_str(), chosen.problem.c_str());
    }
    return chosen;
}

// Every later line goes to path too; false, logged, when it cannot be opened.
bool AttachLogFile(const std::wstring& path, bool mustBeNew)
{
    const DWORD error = Utils::StartLogFile(path, mustBeNew);
    if (error != ERROR_SUCCESS) {
        LOG(L"log file '%s' cannot be opened: %s (error %lu)\r\n", path.c_str(), SystemErrorText(error).c_str(), error);
    }
    return error == ERROR_SUCCESS;
}

} // namespace

int StartRunLog(const InstallerConfig& config, bool unattended)
{
    std::wstring path;
    if (!config.LogFile.empty()) {
        const Config::LogFilePath chosen = ChooseLogFile(config);
        if (!chosen.problem.empty()) {
            if (unattended) {
                LOG(L"quiet: nothing installed, exit code %d\r\n", Config::ExitCode::kInvalidValue);
                return Config::ExitCode::kInvalidValue;
            }
        }
        path = chosen.path;
    } else if (unattended) {
        path = DefaultLogPath();
    }

    if (!path.empty()) {
        // Said before the file is attached: the debugger channel's first line, not the file's.
        LOG(L"log file: %s\r\n", path.c_str());
        // The default name lies in a folder every user can write to: only a file of our own.
        if (!AttachLogFile(path, config.LogFile.empty())) {
            if (unattended && !config.LogFile.empty()) {
                LOG(L"quiet: nothing installed, exit code %d\r\n", Config::ExitCode::kInvalidValue);
                return Config::ExitCode::kInvalidValue;
            }
        }
    }
    LogFirstLines(config);
    return kGoOn;
}

void LogUnusableOptions(const InstallerConfig& config)
{
    // A key nobody reads is a typo or a setting of another version; the run goes on.
    for (const std::wstring& key : config.UnknownSettingsKeys) {
        LOG(L"settings file: unknown key '%s' ignored\r\n", Utils::RedactUrlsInText(Config::HidePassword(key)).c_str());
    }
    for (const std::wstring& name : config.UnknownOptions) {
        LOG(L"option '%s' ignored: the installer does not know it\r\n",
            Utils::RedactUrlsInText(Config::HidePassword(name)).c_str());
    }
    for (const auto& [field, given] : config.InvalidValues) {
        LOG(L"value refused: '%s' (%s)\r\n", Utils::RedactUrlsInText(Config::HidePassword(given)).c_str(),
            WhatIsAccepted(field));
    }
}

void LogAnotherCopyRunning(const InstallerConfig& config)
{
    // Appended like every run's lines: the other copy's lines stay whole and in place.
    if (!config.LogFile.empty()) {
        if (const Config::LogFilePath chosen = ChooseLogFile(config); chosen.problem.empty()) {
            AttachLogFile(chosen.path, false);
        }
    }
    LOG(L"another copy of the installer is running (in this or another session): exit code %d\r\n",
        Config::ExitCode::kAnotherCopyRunning);
    Utils::StopLogFile();
}

std::wstring RunLogPath()
{
    return Utils::LogFilePath();
}

void EndRunLog()
{
    Utils::StopLogFile();
}

} // namespace App
