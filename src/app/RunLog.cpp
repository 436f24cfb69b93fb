#include "app/RunLog.h"

#include <windows.h>

#include "config/ExitCodes.h"
#include "config/PackageTimeLimit.h"
#include "config/SettingsReport.h"
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

void LogFirstLines(const Config::RunSettings& settings)
{
    const std::wstring version = Utils::ModuleFileVersion();
    LOG(L"Vellumora installer %s (%d-bit)\r\n", version.empty() ? L"(no version resource)" : version.c_str(),
        static_cast<int>(sizeof(void*) * 8));
    LOG(L"system: %s\r\n", Utils::DescribeSystem().c_str());
    LOG(L"command line: %s\r\n", Config::CommandLineForLog(::GetCommandLineW()).c_str());
    LOG(L"settings: %s\r\n", settings.settingsForLog.c_str());
    if (settings.packageTimeLimitMs > 0 && Config::PackageTimeoutCountsSeconds()) {
        LOG(L"PackageTimeout counts seconds, not minutes (VLM_TEST_PACKAGETIMEOUT_IN_SECONDS, a test setting)\r\n");
    }
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

// "-log="'s refusal is said before any file is chosen, on the debugger channel alone.
constexpr wchar_t kLogFileRow[] = L"LogFile";

bool RefuseUnattended()
{
    LOG(L"quiet: nothing installed: the log file cannot be used\r\n");
    return false;
}

} // namespace

bool StartRunLog(const Config::RunSettings& settings)
{
    if (!settings.logFileProblem.empty()) {
        for (const Config::UnusableValue& value : settings.unusable) {
            if (value.name == kLogFileRow) {
                LOG(L"%s\r\n", value.logLine.c_str());
            }
        }
        if (settings.unattended) {
            return RefuseUnattended();
        }
    }
    if (!settings.logFile.empty()) {
        // Said before the file is attached: the debugger channel's first line, not the file's.
        LOG(L"log file: %s\r\n", settings.logFile.c_str());
        // The own file lies in a folder every user can write to: only a new file of our own.
        if (!AttachLogFile(settings.logFile, settings.ownLogFile) && settings.unattended && !settings.ownLogFile) {
            return RefuseUnattended();
        }
    }
    LogFirstLines(settings);
    return true;
}

void LogSignerPin(const Config::RunSettings& settings)
{
    if (!settings.signerPinIgnored.empty()) {
        LOG(L"PackageSigner from %s ignored: the pin built into this installer is final\r\n",
            settings.signerPinIgnored.c_str());
    }
    const Config::SignerPin& pin = settings.signerPin;
    switch (pin.state) {
    case Config::SignerPin::State::Off:
        LOG(L"PackageSigner: none; packages are not signature-checked\r\n");
        break;
    case Config::SignerPin::State::Pinned:
        LOG(L"PackageSigner: %u thumbprint(s) pinned%s; packages must be signed by them\r\n",
            static_cast<unsigned>(pin.thumbprints.size()), settings.signerPinBuiltIn ? L" at build time" : L"");
        break;
    case Config::SignerPin::State::Unreadable:
        LOG(L"PackageSigner refused, the value is malformed: %s. No package or old uninstaller will be run\r\n",
            pin.problem.c_str());
        break;
    }
}

void LogUnusableOptions(const Config::RunSettings& settings)
{
    if (!settings.settingsFileIgnored.empty()) {
        LOG(L"settings file %s ignored: %s; an elevated run reads only a file administrators alone may change\r\n",
            Config::kSettingsFileName, settings.settingsFileIgnored.c_str());
    }
    // A key nobody reads is a typo or a setting of another version; the run goes on.
    for (const std::wstring& key : settings.unknownSettingsKeys) {
        LOG(L"settings file: unknown key '%s' ignored\r\n", Utils::RedactUrlsInText(Config::HidePassword(key)).c_str());
    }
    for (const std::wstring& name : settings.unknownOptions) {
        LOG(L"option '%s' ignored: the installer does not know it\r\n",
            Utils::RedactUrlsInText(Config::HidePassword(name)).c_str());
    }
    for (const Config::UnusableValue& value : settings.unusable) {
        // The log file's refusal came first (StartRunLog); the signer pin's words are LogSignerPin's.
        if (value.name != kLogFileRow && value.name != L"PackageSigner") {
            LOG(L"%s\r\n", value.logLine.c_str());
        }
    }
}

void LogAnotherCopyRunning(const Config::RunSettings& settings)
{
    // Appended like every run's lines: the other copy's lines stay whole and in place.
    if (!settings.logFile.empty() && !settings.ownLogFile) {
        AttachLogFile(settings.logFile, false);
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
