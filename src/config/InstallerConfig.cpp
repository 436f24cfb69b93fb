#include "config/InstallerConfig.h"

#include <windows.h>
#include <shellapi.h>

#include <map>
#include <set>

#include "config/MirrorUrls.h"
#include "config/Numbers.h"
#include "config/Route.h"
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

// The settings file is read through a 260-character buffer: longer values arrive cut.
std::wstring ReadProfileText(const std::wstring& iniPath, const wchar_t* key, const std::wstring& fallback)
{
    wchar_t buffer[MAX_PATH] = {};
    ::GetPrivateProfileStringW(Config::kSettingsSection, key, fallback.c_str(), buffer, MAX_PATH, iniPath.c_str());
    return buffer;
}

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

// A key of the settings file as given, or nothing when the file lacks it.
std::optional<std::wstring> ReadProfileKey(const std::wstring& iniPath, const wchar_t* key)
{
    std::wstring value = ReadProfileText(iniPath, key, L"\x1F");
    return value == L"\x1F" ? std::nullopt : std::optional(std::move(value));
}

void SetExactKey(InstallerConfig& config, const std::wstring& iniPath, const wchar_t* key, bool& target)
{
    if (auto value = ReadProfileKey(iniPath, key)) {
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
    if (!Utils::PathExists(iniPath)) {
        return;
    }
    config.DownloadUrl = Config::ApplyRoute(ReadProfileText(iniPath, L"DownloadUrl", Config::BuiltInDownloadUrl()));
    // A missing key reads as 1; an out-of-range number keeps the earlier value.
    if (auto type = Config::ParseLeadingInt(ReadProfileText(iniPath, L"DownloadType", L"1"))) {
        config.DownloadType = *type;
    }
    config.IsCheckNet = Config::ParseBool(ReadProfileText(iniPath, L"IsCheckNet", L"true"));
    config.IsEnableAppSensors = Config::ParseBool(ReadProfileText(iniPath, L"IsEnableAppSensors", L"true"));
    config.DlAppNameSuffix = ReadProfileText(iniPath, L"DlAppNameSuffix", L".downloader");
    config.m_DlAppVersion = ReadProfileText(iniPath, L"m_DlAppVersion", L"");
    if (auto scale = Config::ParseLeadingDouble(ReadProfileText(iniPath, L"DownloadScale", L"0.7"), 0.0)) {
        config.DownloadScale = *scale;
    }
    config.InstCmd = ReadProfileText(iniPath, L"InstCmd", L"");
    config.LogInstCmd = Config::ParseBool(ReadProfileText(iniPath, L"LogInstCmd", L"false"));
    config.Proxy = ReadProfileText(iniPath, L"Proxy", L"");
    // Several thumbprints do not fit the 260-character buffer of the other keys, and a cut
    // pin would be refused: this one has room for 40. A missing key keeps the built-in pin.
    std::wstring signer(4096, L'\0');
    const DWORD length = ::GetPrivateProfileStringW(Config::kSettingsSection, L"PackageSigner", L"\x1F", signer.data(),
        static_cast<DWORD>(signer.size()), iniPath.c_str());
    signer.resize(length);
    if (signer != L"\x1F") {
        SetPackageSigner(config, std::move(signer), L"the settings file");
    }
    SetExactKey(config, iniPath, L"Quiet", config.Quiet);
    // A key present with an empty value counts as given, and is refused like "-installdir=".
    if (auto installDir = ReadProfileKey(iniPath, L"InstallDir")) {
        config.InstallDir = std::move(installDir);
    }
    SetExactKey(config, iniPath, L"Launch", config.Launch);
    config.LogFile = ReadProfileText(iniPath, L"LogFile", L"");
    if (auto minutes = ReadProfileKey(iniPath, L"PackageTimeout")) {
        SetExact(config, L"PackageTimeout", config.PackageTimeout, Config::ParseMinutes(*minutes),
            config.PackageTimeout, L"PackageTimeout=" + *minutes);
    }
    if (auto mirrors = Config::ReadMirrorUrls(iniPath)) {
        config.MirrorUrls = std::move(*mirrors);
    }
    Config::CheckMirrorUrls(config);
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
