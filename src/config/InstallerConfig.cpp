#include "config/InstallerConfig.h"

#include <windows.h>
#include <shellapi.h>

#include <map>
#include <set>

#include "config/MachinePolicy.h"
#include "config/MirrorUrls.h"
#include "config/OptionTable.h"
#include "config/Route.h"
#include "config/SettingsFile.h"
#include "config/SettingsFileTrust.h"
#include "utils/FileSystem.h"
#include "utils/UniqueResource.h"

namespace {

// Process-wide record, filled during static initialisation so that every started copy,
// including one about to find another copy running, has read its settings.
InstallerConfig MakeProcessConfig()
{
    InstallerConfig config = DefaultInstallerConfig();
    const std::wstring directory = Utils::ModuleDirectory();
    if (!directory.empty()) {
        ApplySettingsFile(config, directory + L"\\" + Config::kSettingsFileName, Config::RunsAsAdministrator());
    }
    return config;
}

InstallerConfig& ProcessConfig()
{
    static InstallerConfig config = MakeProcessConfig();
    return config;
}

[[maybe_unused]] const bool g_loadedBeforeEntry = (ProcessConfig(), true);

} // namespace

InstallerConfig& TheInstallerConfig()
{
    return ProcessConfig();
}

InstallerConfig DefaultInstallerConfig()
{
    InstallerConfig config;
    config.DownloadUrl = Config::ApplyRoute(Config::BuiltInDownloadUrl());
    config.PackageSigner = Config::BuiltInPackageSigner();
    config.PackageSignerBuiltIn = !config.PackageSigner.empty();
    return config;
}

void LoadInstallerConfig()
{
    ProcessConfig() = MakeProcessConfig();
}

void ApplySettingsFile(InstallerConfig& config, const std::wstring& iniPath, bool elevated)
{
    Config::SettingsFile file = Config::SettingsFile::Read(
        iniPath, Config::kSettingsSection, elevated ? &Config::UntrustedSettingsFile : nullptr);
    if (!file.Exists()) {
        return;
    }
    if (!file.Ignored().empty()) {
        // The defaults (and a built-in pin) stand; the command line still counts.
        config.SettingsFileIgnored = file.Ignored();
        return;
    }
    if (!file.Problem().empty()) {
        // The defaults stand, and an unattended run does not go on without the file's settings.
        config.InvalidValues[L"SettingsFile"] = std::wstring(Config::kSettingsFileName) + L": " + file.Problem();
        return;
    }
    for (const Config::OptionRow& row : Config::OptionTable()) {
        if (!row.hasKey) {
            continue;
        }
        // A key present with an empty value counts as given ("InstallDir=" is refused).
        std::optional<std::wstring> value = file.Value(row.name, row.room);
        if (!value && row.fileDefault) {
            value = row.fileDefault;
        }
        if (value) {
            row.apply(config, row, *value, Config::Layer::SettingsFile);
        }
    }
    Config::CheckMirrorUrls(config);
    config.UnknownSettingsKeys = file.UnreadKeys();
}

void ApplyCommandLine(InstallerConfig& config, const std::wstring& commandLine)
{
    int count = 0;
    Utils::UniqueLocalMem argvMemory(::CommandLineToArgvW(commandLine.c_str(), &count));
    if (!argvMemory) {
        return;
    }
    auto* argv = static_cast<wchar_t**>(argvMemory.get());

    // First occurrence of a key wins. The program's own path is the first token.
    std::map<std::wstring, std::wstring> options;
    const std::wstring programKey = count > 0 ? argv[0] : L"";
    for (int i = 0; i < count; ++i) {
        const std::wstring token = argv[i];
        const auto equals = token.find(L'=');
        if (!token.empty() && token[0] == L'-' && equals != std::wstring::npos) {
            options.emplace(token.substr(0, equals), token.substr(equals + 1));
        } else {
            options.emplace(token, std::wstring());
        }
    }
    argvMemory.reset();

    std::set<std::wstring> known { programKey };
    config.ShowHelp = false;
    config.ShowVersion = false;
    for (const Config::OptionRow& row : Config::OptionTable()) {
        const wchar_t* names[] = { row.option, row.alias };
        bool applied = false; // "-help" and "/?" together: one answer
        for (const wchar_t* name : names) {
            if (!name) {
                continue;
            }
            known.insert(name);
            if (const auto it = options.find(name); it != options.end() && !applied) {
                row.apply(config, row, it->second, Config::Layer::CommandLine);
                applied = true;
            }
        }
    }
    Config::CheckMirrorUrls(config);

    config.UnknownOptions.clear();
    for (const auto& entry : options) {
        if (!known.count(entry.first)) {
            config.UnknownOptions.push_back(entry.first.substr(0, entry.first.find(L'=')));
        }
    }
}

void ParseCommandLine()
{
    ApplyCommandLine(ProcessConfig(), ::GetCommandLineW());
    Config::ApplyPolicy(ProcessConfig(), Config::ReadPolicyEntries(HKEY_LOCAL_MACHINE, Config::kPolicyKey));
}
