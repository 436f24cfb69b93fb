#include "config/InstallerConfig.h"

#include <windows.h>
#include <shellapi.h>

#include <map>
#include <set>

#include "config/MirrorUrls.h"
#include "config/Numbers.h"
#include "config/Route.h"
#include "config/SettingsFile.h"
#include "utils/FileSystem.h"
#include "utils/UniqueResource.h"

#ifndef VLM_REDIRECT_ENDPOINT
#error "VLM_REDIRECT_ENDPOINT must be defined by the build"
#endif
#define VLM_WIDEN2(x) L##x
#define VLM_WIDEN(x) VLM_WIDEN2(x)

namespace Config {

std::wstring RedirectEndpoint()
{
    return VLM_WIDEN(VLM_REDIRECT_ENDPOINT);
}

std::wstring BuiltInDownloadUrl()
{
    return RedirectEndpoint() + L"/redirect/ver1/quorvel/download_silent/1.0/installer/123456";
}

} // namespace Config

namespace {

// The settings file's values have always come through a 260-character buffer: longer ones
// arrive cut to 259 characters.
constexpr std::size_t kValueRoom = MAX_PATH;
// Several thumbprints do not fit that buffer, and a cut pin would be refused: room for 40.
constexpr std::size_t kSignerRoom = 4096;

// A value that must be exact is taken when it is; otherwise the earlier layer's value
// stays (a switch turns false, as it always has) and the text is kept for the refusal.
template <typename T>
void SetExact(
    InstallerConfig& config, const wchar_t* field, T& target, std::optional<T> parsed, T fallback, std::wstring given)
{
    target = parsed.value_or(fallback);
    if (parsed) {
        config.InvalidValues.erase(field);
    } else {
        config.InvalidValues[field] = std::move(given);
    }
}

void SetExactKey(InstallerConfig& config, Config::SettingsFile& file, const wchar_t* key, bool& target)
{
    if (auto value = file.Value(key, kValueRoom)) {
        SetExact(config, key, target, Config::ParseExactBool(*value), false, std::wstring(key) + L"=" + *value);
    }
}

// Process-wide record, filled during static initialisation so that every started copy,
// including one about to find another copy running, has read its settings.
InstallerConfig MakeProcessConfig()
{
    InstallerConfig config = DefaultInstallerConfig();
    const std::wstring directory = Utils::ModuleDirectory();
    if (!directory.empty()) {
        ApplySettingsFile(config, directory + L"\\" + Config::kSettingsFileName);
    }
    return config;
}

InstallerConfig& ProcessConfig()
{
    static InstallerConfig config = MakeProcessConfig();
    return config;
}

[[maybe_unused]] const bool g_loadedBeforeEntry = (ProcessConfig(), true);

// A pin built into the program is final: the settings file beside it, which whoever can drop
// a file into a Downloads folder can write, and the command line cannot change it.
void SetPackageSigner(InstallerConfig& config, std::wstring value, const wchar_t* source)
{
    if (!config.PackageSignerBuiltIn) {
        config.PackageSigner = std::move(value);
    } else if (config.PackageSignerIgnored.find(source) == std::wstring::npos) {
        config.PackageSignerIgnored += config.PackageSignerIgnored.empty() ? source : std::wstring(L" and ") + source;
    }
}

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

void ApplySettingsFile(InstallerConfig& config, const std::wstring& iniPath)
{
    Config::SettingsFile file = Config::SettingsFile::Read(iniPath, Config::kSettingsSection);
    if (!file.Exists()) {
        return;
    }
    if (!file.Problem().empty()) {
        // The defaults stand, and an unattended run does not go on without the file's settings.
        config.InvalidValues[L"SettingsFile"] = std::wstring(Config::kSettingsFileName) + L": " + file.Problem();
        return;
    }
    config.DownloadUrl = Config::ApplyRoute(file.Text(L"DownloadUrl", Config::BuiltInDownloadUrl(), kValueRoom));
    // A missing key reads as 1; an out-of-range number keeps the earlier value.
    if (auto type = Config::ParseLeadingInt(file.Text(L"DownloadType", L"1", kValueRoom))) {
        config.DownloadType = *type;
    }
    config.IsCheckNet = Config::ParseBool(file.Text(L"IsCheckNet", L"true", kValueRoom));
    config.IsEnableAppSensors = Config::ParseBool(file.Text(L"IsEnableAppSensors", L"true", kValueRoom));
    config.DlAppNameSuffix = file.Text(L"DlAppNameSuffix", L".downloader", kValueRoom);
    config.m_DlAppVersion = file.Text(L"m_DlAppVersion", L"", kValueRoom);
    if (auto scale = Config::ParseLeadingDouble(file.Text(L"DownloadScale", L"0.7", kValueRoom), 0.0)) {
        config.DownloadScale = *scale;
    }
    config.InstCmd = file.Text(L"InstCmd", L"", kValueRoom);
    config.LogInstCmd = Config::ParseBool(file.Text(L"LogInstCmd", L"false", kValueRoom));
    config.Proxy = file.Text(L"Proxy", L"", kValueRoom);
    // A missing key keeps the built-in pin.
    if (auto signer = file.Value(L"PackageSigner", kSignerRoom)) {
        SetPackageSigner(config, std::move(*signer), L"the settings file");
    }
    SetExactKey(config, file, L"Quiet", config.Quiet);
    // A key present with an empty value counts as given, and is refused like "-installdir=".
    if (auto installDir = file.Value(L"InstallDir", kValueRoom)) {
        config.InstallDir = std::move(installDir);
    }
    SetExactKey(config, file, L"Launch", config.Launch);
    config.LogFile = file.Text(L"LogFile", L"", kValueRoom);
    if (auto minutes = file.Value(L"PackageTimeout", kValueRoom)) {
        SetExact(config, L"PackageTimeout", config.PackageTimeout, Config::ParseMinutes(*minutes),
            config.PackageTimeout, L"PackageTimeout=" + *minutes);
    }
    if (auto mirrors = Config::ReadMirrorUrls(file)) {
        config.MirrorUrls = std::move(*mirrors);
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
    auto option = [&options, &known](const wchar_t* key) -> const std::wstring* {
        known.insert(key);
        const auto it = options.find(key);
        return it == options.end() ? nullptr : &it->second;
    };
    auto integer = [](const std::wstring& value, int& field) {
        if (auto parsed = Config::ParseLeadingInt(value)) {
            field = *parsed;
        }
    };

    if (auto v = option(L"-downloadurl")) {
        config.DownloadUrl = Config::ApplyRoute(*v);
    }
    if (auto v = option(L"-downloadtype")) {
        integer(*v, config.DownloadType);
    }
    if (auto v = option(L"-downloadscale")) {
        // Not a number, or beyond the double range: the earlier value stays usable.
        if (auto scale = Config::ParseLeadingDouble(*v, std::nullopt)) {
            config.DownloadScale = *scale;
        }
    }
    if (auto v = option(L"-ischecknet")) {
        config.IsCheckNet = Config::ParseBool(*v);
    }
    if (auto v = option(L"-isenableappsensors")) {
        config.IsEnableAppSensors = Config::ParseBool(*v);
    }
    if (auto v = option(L"-dlappnamesuffix")) {
        config.DlAppNameSuffix = *v;
    }
    if (auto v = option(L"-dlappversion")) {
        config.m_DlAppVersion = *v;
    }
    if (auto v = option(L"-instcmd")) {
        config.InstCmd = *v;
    }
    if (auto v = option(L"-language")) {
        integer(*v, config.LanguageIndex);
    }
    if (auto v = option(L"-insnew")) {
        config.InsNew = Config::ParseBool(*v);
    }
    if (auto v = option(L"-packagesigner")) {
        SetPackageSigner(config, *v, L"the command line");
    }
    if (auto v = option(L"-quiet")) {
        SetExact(config, L"Quiet", config.Quiet, Config::ParseExactBool(*v), false, L"-quiet=" + *v);
    }
    if (auto v = option(L"-installdir")) {
        config.InstallDir = *v;
    }
    if (auto v = option(L"-launch")) {
        SetExact(config, L"Launch", config.Launch, Config::ParseExactBool(*v), false, L"-launch=" + *v);
    }
    if (auto v = option(L"-proxy")) {
        config.Proxy = *v;
    }
    if (auto v = option(L"-log")) {
        config.LogFile = *v;
    }
    if (auto v = option(L"-mirrorurls")) {
        config.MirrorUrls = *v;
    }
    if (auto v = option(L"-packagetimeout")) {
        SetExact(config, L"PackageTimeout", config.PackageTimeout, Config::ParseMinutes(*v), config.PackageTimeout,
            L"-packagetimeout=" + *v);
    }
    if (auto v = option(L"-scope")) {
        config.Scope = Config::ParseInstallScope(*v);
        if (config.Scope) {
            config.InvalidValues.erase(L"Scope");
        } else {
            config.InvalidValues[L"Scope"] = L"-scope=" + *v;
        }
    }
    if (auto v = option(L"-uninstall")) {
        SetExact(config, L"Uninstall", config.Uninstall, Config::ParseExactBool(*v), false, L"-uninstall=" + *v);
    }
    if (auto v = option(L"-resultfile")) {
        config.ResultFile = *v;
    }
    if (auto v = option(L"-shortcuts")) {
        SetExact(config, L"Shortcuts", config.Shortcuts, Config::ParseShortcutChoice(*v), Config::ShortcutChoice {},
            L"-shortcuts=" + *v);
    }
    config.ShowHelp = option(L"-help") || option(L"/?");
    config.ShowVersion = option(L"-version") != nullptr;
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
}
