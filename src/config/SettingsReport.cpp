#include "config/SettingsReport.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>

#include "config/ProxySetting.h"
#include "utils/Processes.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace Config {
namespace {

std::wstring TrueFalse(bool value)
{
    return value ? L"true" : L"false";
}

} // namespace

// "user:password@host:port" → "user:(hidden)@host:port"; a value without both a
// user part and a colon in it holds no password.
std::wstring HidePassword(const std::wstring& value)
{
    const std::size_t at = value.rfind(L'@');
    if (at == std::wstring::npos) {
        return value;
    }
    const std::size_t scheme = value.find(L"://");
    const std::size_t userStart = scheme == std::wstring::npos || scheme > at ? 0 : scheme + 3;
    if (value.find(L'/', userStart) < at) {
        return value; // an "@" in a URL's path, not a sign-in
    }
    const std::size_t colon = value.find(L':', userStart);
    if (colon == std::wstring::npos || colon > at) {
        return value;
    }
    return value.substr(0, colon + 1) + L"(hidden)" + value.substr(at);
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
        // Every token: "-proxy host" with a space, "/proxy=", a URL's own password.
        std::wstring token = argv[i];
        const std::size_t equals = token.find(L'=');
        token = equals == std::wstring::npos ? HidePassword(token)
                                             : token.substr(0, equals + 1) + HidePassword(token.substr(equals + 1));
        if (i > 0) {
            result += L' ';
        }
        result += Utils::QuoteCommandLineArgument(token);
    }
    return result;
}

std::wstring DescribeSettings(const InstallerConfig& config)
{
    wchar_t scale[32] = {};
    std::swprintf(scale, 32, L"%g", config.DownloadScale);
    std::wstring text = L"DownloadUrl=" + config.DownloadUrl;
    text += L"; DownloadType=" + std::to_wstring(config.DownloadType);
    text += L"; DownloadScale=" + std::wstring(scale);
    text += L"; IsCheckNet=" + TrueFalse(config.IsCheckNet);
    text += L"; InstCmd=" + config.InstCmd;
    text += L"; LanguageIndex=" + std::to_wstring(config.LanguageIndex);
    text += L"; InsNew=" + TrueFalse(config.InsNew);
    text += L"; Quiet=" + TrueFalse(config.Quiet);
    text += L"; InstallDir=" + (config.InstallDir ? L"'" + *config.InstallDir + L"'" : std::wstring(L"(default)"));
    text += L"; Launch=" + TrueFalse(config.Launch);
    text += L"; Proxy=" + ParseProxySetting(config.Proxy).Describe();
    text += L"; PackageSigner=" + (config.PackageSigner.empty() ? std::wstring(L"(none)") : config.PackageSigner);
    text += L"; LogFile=" + config.LogFile;
    text += L"; PackageTimeout=" + std::to_wstring(config.PackageTimeout);
    text += L"; IsEnableAppSensors=" + TrueFalse(config.IsEnableAppSensors);
    text += L"; DlAppNameSuffix=" + config.DlAppNameSuffix;
    text += L"; m_DlAppVersion=" + config.m_DlAppVersion;
    return text;
}

} // namespace Config
