#include "config/OptionTable.h"

#include <windows.h>

#include <cwchar>
#include <optional>

#include "config/FolderOption.h"
#include "config/Numbers.h"
#include "config/PackageSource.h"
#include "config/Route.h"
#include "config/RunSettings.h"
#include "utils/FileSystem.h"

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

namespace {

constexpr wchar_t kBuiltInDownloadUrl[]
    = VLM_WIDEN(VLM_REDIRECT_ENDPOINT) L"/redirect/ver1/quorvel/download_silent/1.0/installer/123456";

// The settings file's values have always come through a 260-character buffer: longer ones
// arrive cut to 259 characters.
constexpr std::size_t kValueRoom = MAX_PATH;
// Several thumbprints, or several addresses, do not fit that buffer, and a cut pin or
// address would be refused.
constexpr std::size_t kSignerRoom = 4096;
constexpr std::size_t kMirrorRoom = 8192;

std::wstring TrueFalse(bool value)
{
    return value ? L"true" : L"false";
}

// A value that must be exact is taken when it is; otherwise the fallback stands (a switch
// turns false, as it always has) and the text is kept for the refusal.
template <typename T>
void SetExact(InstallerConfig& config, const OptionRow& row, T& target, std::optional<T> parsed, T fallback,
    const std::wstring& value, Layer layer)
{
    target = parsed.value_or(fallback);
    if (parsed) {
        config.InvalidValues.erase(row.name);
    } else {
        config.InvalidValues[row.name] = GivenText(row, value, layer);
    }
}

void ExactBool(InstallerConfig& config, const OptionRow& row, bool& target, const std::wstring& value, Layer layer)
{
    SetExact(config, row, target, ParseExactBool(value), false, value, layer);
}

void Integer(const std::wstring& value, int& field)
{
    // Beyond 32 bits: the earlier value stays.
    if (auto parsed = ParseLeadingInt(value)) {
        field = *parsed;
    }
}

// A pin built into the program is final: the settings file beside it, which whoever can drop
// a file into a Downloads folder can write, and the command line cannot change it.
void SetPackageSigner(InstallerConfig& config, const std::wstring& value, Layer layer)
{
    const wchar_t* source = layer == Layer::SettingsFile ? L"the settings file" : L"the command line";
    if (!config.PackageSignerBuiltIn) {
        config.PackageSigner = value;
    } else if (config.PackageSignerIgnored.find(source) == std::wstring::npos) {
        config.PackageSignerIgnored += config.PackageSignerIgnored.empty() ? source : std::wstring(L" and ") + source;
    }
}

std::wstring ShortcutsName(const ShortcutChoice& choice)
{
    if (choice.desktop) {
        return choice.quickLaunch ? L"both" : L"desktop";
    }
    return choice.quickLaunch ? L"quicklaunch" : L"none";
}

std::wstring Quoted(const std::wstring& text)
{
    return L"'" + text + L"'";
}

using C = InstallerConfig;
using R = RunSettings;
using Row = OptionRow;

// The order of "-help" and of the log's settings line.
constexpr OptionRow kOptions[] = {
    { L"-downloadurl", nullptr, L"DownloadUrl", true, kValueRoom, kBuiltInDownloadUrl, L"URL",
        L"where the package comes from", nullptr, LogShow::Redacted,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.DownloadUrl = ApplyRoute(v); },
        [](const C& c, const R&) { return c.DownloadUrl; }, nullptr, { PolicyType::Text, L"DownloadUrl" } },
    { L"-mirrorurls", nullptr, L"MirrorUrls", true, kMirrorRoom, nullptr, L"URL;URL",
        L"more addresses of the same package, each with\nDownloadUrl's MD5 in its path (without one there,\nall "
        L"with one MD5, which DownloadUrl's target\nmust carry too)",
        L"every mirror must carry DownloadUrl's MD5, or all one MD5 when DownloadUrl carries none", LogShow::Redacted,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.MirrorUrls = v; },
        [](const C& c, const R&) { return c.MirrorUrls; }, nullptr, { PolicyType::Text, L"MirrorUrls" } },
    { L"-downloadtype", nullptr, L"DownloadType", true, kValueRoom, L"1", L"1|2|3",
        L"1 one stream, 2 WinHTTP, 3 two parallel ranges", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { Integer(v, c.DownloadType); },
        [](const C& c, const R&) { return std::to_wstring(c.DownloadType); }, nullptr,
        { PolicyType::Number, L"DownloadType" } },
    { L"-limitrate", nullptr, L"LimitRate", true, kValueRoom, nullptr, L"KIBPS",
        L"hold the download to so many KiB/s (both ranges\nof type 3 together); 0 (default): no limit",
        L"a whole number of KiB/s, 0 for no limit", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) {
            SetExact(c, r, c.LimitRate, ParseMinutes(v), c.LimitRate, v, l); // the same digits-only count
        },
        [](const C& c, const R&) { return std::to_wstring(c.LimitRate); }, nullptr,
        { PolicyType::Number, L"LimitRate" } },
    { L"-downloadscale", nullptr, L"DownloadScale", true, kValueRoom, L"0.7", L"NUMBER",
        L"the download's share of the progress bar (0.7)", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer layer) {
            // The file's text without a number has always read as 0; the command line's keeps
            // the earlier value, as does one beyond the double range.
            const auto noNumber = layer == Layer::SettingsFile ? std::optional<double>(0.0) : std::nullopt;
            if (auto scale = ParseLeadingDouble(v, noNumber)) {
                c.DownloadScale = *scale;
            }
        },
        [](const C& c, const R&) {
            wchar_t scale[32] = {};
            std::swprintf(scale, 32, L"%g", c.DownloadScale);
            return std::wstring(scale);
        },
        nullptr },
    { L"-proxy", nullptr, L"Proxy", true, kValueRoom, L"", L"direct|HOST:PORT|USER:PASSWORD@HOST:PORT",
        L"the proxy for the downloads; empty: the system's", nullptr, LogShow::Redacted,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.Proxy = v; },
        [](const C&, const R& s) { return s.proxy.Describe(); },
        [](const C&, const R& s) { return s.proxy.valid ? std::wstring() : L"-proxy refused, " + s.proxy.problem; },
        { PolicyType::Text, L"Proxy" } },
    { L"-packagesigner", nullptr, L"PackageSigner", true, kSignerRoom, nullptr, L"SHA256[,SHA256]",
        L"the certificates a package must be signed by", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer layer) { SetPackageSigner(c, v, layer); },
        [](const C& c, const R&) { return c.PackageSigner.empty() ? std::wstring(L"(none)") : c.PackageSigner; },
        [](const C&, const R& s) {
            return s.signerPin.state == SignerPin::State::Unreadable
                ? std::wstring(L"PackageSigner refused, the value is malformed")
                : std::wstring();
        } },
    { L"-allowunverified", nullptr, L"AllowUnverifiedPackage", true, kValueRoom, nullptr, L"true|false",
        L"run a package whose address carries no MD5 though\nno signer is pinned (a trusted network only)",
        L"only true or false", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) { ExactBool(c, r, c.AllowUnverifiedPackage, v, l); },
        [](const C& c, const R&) { return TrueFalse(c.AllowUnverifiedPackage); }, nullptr,
        { PolicyType::Switch, L"AllowUnverifiedPackage" } },
    { L"-maxpackagesize", nullptr, L"MaxPackageSize", true, kValueRoom, nullptr, L"MIB",
        L"the most MiB a download writes (4096); it also\nstops short of 1 GiB free on the drive",
        L"a whole number of MiB, 1 or more", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) {
            const std::optional<int> count = ParseMinutes(v); // the same digits-only count
            SetExact(c, r, c.MaxPackageSize, count.value_or(0) > 0 ? count : std::nullopt, c.MaxPackageSize, v, l);
        },
        [](const C& c, const R&) { return std::to_wstring(c.MaxPackageSize); }, nullptr },
    { L"-packagefile", nullptr, L"PackageFile", true, kValueRoom, nullptr, L"PATH",
        L"read the package from this file (a layout's, on a\nshare) instead of DownloadUrl; the name of its\n"
        L"folder is its MD5",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.PackageFile = v; },
        [](const C& c, const R&) { return c.PackageFile.empty() ? std::wstring(L"(none)") : Quoted(c.PackageFile); },
        [](const C& c, const R&) {
            return c.PackageFile.empty() || LocalPackagePath(c.PackageFile, Utils::ModuleDirectory())
                ? std::wstring()
                : L"-packagefile=" + Quoted(c.PackageFile)
                    + L" refused, it is not a file's path (a drive's, a share's, file: or relative to the "
                      L"installer's folder)";
        } },
    { L"-quiet", nullptr, L"Quiet", true, kValueRoom, nullptr, L"true|false",
        L"install (or remove) without any window; the exit\ncode tells the result", L"only true or false",
        LogShow::AsIs, [](C& c, const Row& r, const std::wstring& v, Layer l) { ExactBool(c, r, c.Quiet, v, l); },
        [](const C& c, const R&) { return TrueFalse(c.Quiet); }, nullptr },
    { L"-installdir", nullptr, L"InstallDir", true, kValueRoom, nullptr, L"FOLDER",
        L"quiet: the install folder, a full path on a drive of\nthis machine; default: the installed version's "
        L"folder\nor the default one",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.InstallDir = v; },
        [](const C& c, const R&) { return c.InstallDir ? Quoted(*c.InstallDir) : std::wstring(L"(default)"); },
        [](const C&, const R& s) {
            const std::wstring problem = s.installDir ? FolderOptionProblem(*s.installDir) : std::wstring();
            return problem.empty() ? problem : L"-installdir=" + Quoted(*s.installDir) + L" refused, " + problem;
        } },
    { L"-launch", nullptr, L"Launch", true, kValueRoom, nullptr, L"true|false",
        L"quiet: start the product after the install", L"only true or false", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) { ExactBool(c, r, c.Launch, v, l); },
        [](const C& c, const R&) { return TrueFalse(c.Launch); }, nullptr },
    { L"-allowdowngrade", nullptr, L"AllowDowngrade", true, kValueRoom, nullptr, L"true|false",
        L"install a package older than the installed version\n(default: refused, exit code 13)", L"only true or false",
        LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) { ExactBool(c, r, c.AllowDowngrade, v, l); },
        [](const C& c, const R&) { return TrueFalse(c.AllowDowngrade); }, nullptr,
        { PolicyType::Switch, L"AllowDowngrade" } },
    { L"-scope", nullptr, L"Scope", false, 0, nullptr, L"user|machine",
        L"whose installation: this account's or the machine's\n(Program Files, HKLM); default: machine for a "
        L"quiet\nrun as the system account, otherwise user",
        L"only user or machine", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) {
            c.Scope = ParseInstallScope(v);
            if (c.Scope) {
                c.InvalidValues.erase(r.name);
            } else {
                c.InvalidValues[r.name] = GivenText(r, v, l);
            }
        },
        [](const C&, const R& s) { return std::wstring(ScopeName(s.scope)); }, nullptr,
        { PolicyType::Text, L"Scope" } },
    { L"-uninstall", nullptr, L"Uninstall", false, 0, nullptr, L"true|false",
        L"remove the installed product (a window asks first;\nas the system account, quiet)", L"only true or false",
        LogShow::AsIs, [](C& c, const Row& r, const std::wstring& v, Layer l) { ExactBool(c, r, c.Uninstall, v, l); },
        [](const C& c, const R&) { return TrueFalse(c.Uninstall); }, nullptr },
    { L"-layout", nullptr, L"Layout", false, 0, nullptr, L"FOLDER",
        L"fetch and check the package, then write it, this\ninstaller and a settings file for both into\n"
        L"FOLDER; no window, nothing is installed",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.Layout = v; },
        [](const C& c, const R&) { return c.Layout ? Quoted(*c.Layout) : std::wstring(L"(none)"); },
        [](const C& c, const R& s) {
            return s.layoutProblem.empty()
                ? std::wstring()
                : L"-layout=" + Quoted(c.Layout.value_or(L"")) + L" refused, " + s.layoutProblem;
        } },
    { L"-shortcuts", nullptr, L"Shortcuts", false, 0, nullptr, L"both|desktop|quicklaunch|none",
        L"quiet: the shortcuts the package makes (both)", L"only both, desktop, quicklaunch or none", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) {
            SetExact(c, r, c.Shortcuts, ParseShortcutChoice(v), ShortcutChoice {}, v, l);
        },
        [](const C& c, const R&) { return ShortcutsName(c.Shortcuts); }, nullptr },
    { L"-resultfile", nullptr, L"ResultFile", false, 0, nullptr, L"PATH",
        L"write the run's result to PATH as JSON (.json, its\nfolder must exist)", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.ResultFile = v; },
        [](const C& c, const R&) { return c.ResultFile; },
        [](const C& c, const R& s) {
            return s.resultFileProblem.empty()
                ? std::wstring()
                : L"-resultfile=" + Quoted(c.ResultFile) + L" refused, " + s.resultFileProblem;
        } },
    { L"-log", nullptr, L"LogFile", true, kValueRoom, L"", L"PATH",
        L"write the log to PATH too (.log or .txt, on a drive\nof this machine); a quiet run always keeps a log",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.LogFile = v; },
        [](const C& c, const R&) { return c.LogFile; },
        [](const C& c, const R& s) {
            return s.logFileProblem.empty() ? std::wstring()
                                            : L"log file " + Quoted(c.LogFile) + L" refused: " + s.logFileProblem;
        } },
    { L"-packagetimeout", nullptr, L"PackageTimeout", true, kValueRoom, nullptr, L"MINUTES",
        L"end the package or an old uninstaller after so long;\n0 (default): no bound",
        L"a whole number of minutes, 0 for no bound", LogShow::AsIs,
        [](C& c, const Row& r, const std::wstring& v, Layer l) {
            SetExact(c, r, c.PackageTimeout, ParseMinutes(v), c.PackageTimeout, v, l);
        },
        [](const C& c, const R&) { return std::to_wstring(c.PackageTimeout); }, nullptr,
        { PolicyType::Number, L"PackageTimeout" } },
    { L"-insnew", nullptr, L"InsNew", false, 0, nullptr, L"true", L"the product may be running: wait for it to exit",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.InsNew = ParseBool(v); },
        [](const C& c, const R&) { return TrueFalse(c.InsNew); }, nullptr },
    { L"-ischecknet", nullptr, L"IsCheckNet", true, kValueRoom, L"true", L"true",
        L"check the network as a window install starts", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.IsCheckNet = ParseBool(v); },
        [](const C& c, const R&) { return TrueFalse(c.IsCheckNet); }, nullptr },
    { L"-language", nullptr, L"LanguageIndex", false, 0, nullptr, L"INDEX",
        L"the window's language, 0 to 14; -1: the system's", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { Integer(v, c.LanguageIndex); },
        [](const C& c, const R&) { return std::to_wstring(c.LanguageIndex); }, nullptr },
    { L"-instcmd", nullptr, L"InstCmd", true, kValueRoom, L"", L"TEXT", L"more arguments for the package", nullptr,
        LogShow::Hidden, [](C& c, const Row&, const std::wstring& v, Layer) { c.InstCmd = v; },
        [](const C& c, const R&) { return c.InstCmd; }, nullptr },
    { nullptr, nullptr, L"LogInstCmd", true, kValueRoom, L"false", L"true",
        L"the log shows InstCmd's text, not only its length", nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.LogInstCmd = ParseBool(v); },
        [](const C& c, const R&) { return TrueFalse(c.LogInstCmd); }, nullptr },
    { L"-isenableappsensors", nullptr, L"IsEnableAppSensors", true, kValueRoom, L"true", L"true", L"stored only",
        nullptr, LogShow::AsIs,
        [](C& c, const Row&, const std::wstring& v, Layer) { c.IsEnableAppSensors = ParseBool(v); },
        [](const C& c, const R&) { return TrueFalse(c.IsEnableAppSensors); }, nullptr },
    { L"-dlappnamesuffix", nullptr, L"DlAppNameSuffix", true, kValueRoom, L".downloader", L"TEXT", L"stored only",
        nullptr, LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.DlAppNameSuffix = v; },
        [](const C& c, const R&) { return c.DlAppNameSuffix; }, nullptr },
    { L"-dlappversion", nullptr, L"m_DlAppVersion", true, kValueRoom, L"", L"TEXT", L"stored only", nullptr,
        LogShow::AsIs, [](C& c, const Row&, const std::wstring& v, Layer) { c.m_DlAppVersion = v; },
        [](const C& c, const R&) { return c.m_DlAppVersion; }, nullptr },
    { L"-help", L"/?", L"Help", false, 0, nullptr, nullptr, L"this text", nullptr, LogShow::Omitted,
        [](C& c, const Row&, const std::wstring&, Layer) { c.ShowHelp = true; }, nullptr, nullptr },
    { L"-version", nullptr, L"Version", false, 0, nullptr, nullptr, L"the installer's version", nullptr,
        LogShow::Omitted, [](C& c, const Row&, const std::wstring&, Layer) { c.ShowVersion = true; }, nullptr,
        nullptr },
};

} // namespace

std::wstring BuiltInDownloadUrl()
{
    return kBuiltInDownloadUrl;
}

std::span<const OptionRow> OptionTable()
{
    return kOptions;
}

const OptionRow* FindOption(const std::wstring& optionOrName)
{
    for (const OptionRow& row : kOptions) {
        if ((row.option && optionOrName == row.option) || (row.alias && optionOrName == row.alias)
            || optionOrName == row.name) {
            return &row;
        }
    }
    return nullptr;
}

std::wstring GivenText(const OptionRow& row, const std::wstring& value, Layer layer)
{
    if (layer == Layer::Policy) {
        return std::wstring(L"policy ") + row.name + L"=" + value;
    }
    return std::wstring(layer == Layer::SettingsFile || !row.option ? row.name : row.option) + L"=" + value;
}

} // namespace Config
