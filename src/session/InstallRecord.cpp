#include "session/InstallRecord.h"

#include <windows.h>
#include <shlobj.h>

#include "session/InstallFolders.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"
#include "utils/SystemProbes.h"

void RecordInstallation(const std::wstring& installFolder, const std::wstring& reportedUninstaller)
{
    Utils::WriteRegistryString(L"InstallPath", installFolder);
    const std::wstring uninstaller = reportedUninstaller.empty() ? installFolder + L"\\uninst.ep" : reportedUninstaller;
    if (Utils::PathExists(uninstaller)) {
        Utils::WriteRegistryString(L"UnInstallEp", uninstaller);
    }
}

std::wstring AnalyticsFolder()
{
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", base, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        base[0] = L'\0';
        ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_COMMON_DOCUMENTS, FALSE);
    }
    return JoinFolder(JoinFolder(base, L"TarvikData"), L"TarvikQuill");
}

void WriteStateFiles(const std::wstring& installFolder, const std::wstring& installerFileName)
{
    const std::wstring stateFile = JoinFolder(installFolder, L"set.ini");
    ::WritePrivateProfileStringW(L"Install", L"APPStore", installerFileName.c_str(), stateFile.c_str());
    ::WritePrivateProfileStringW(L"Install", L"AppName", L"Vellumora", stateFile.c_str());
    ::WritePrivateProfileStringW(L"Install", L"DeviceID", Utils::CreateGuidText().c_str(), stateFile.c_str());

    const std::wstring dataFolder = AnalyticsFolder();
    if (!Utils::EnsureDirectoryPath(dataFolder)) {
        return;
    }
    const std::wstring analyticsFile = dataFolder + L"\\TKSensorsAnalytics.ini";
    ::WritePrivateProfileStringW(L"Install", L"TKSensorsAnalyticsIni", analyticsFile.c_str(), stateFile.c_str());
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    wchar_t stamp[64] = {};
    _snwprintf(stamp, 63, L"%d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
        now.wSecond);
    ::WritePrivateProfileStringW(L"Init", L"UpdateTime", stamp, analyticsFile.c_str());
}

ExistingInstallation ReadExistingInstallation()
{
    ExistingInstallation existing;
    DWORD type = 0;
    Utils::ReadRegistryString(L"InstallPath", type, existing.folder);
    Utils::ReadRegistryString(L"UnInstallEp", type, existing.uninstaller);
    if (existing.uninstaller.empty() && !existing.folder.empty()) {
        existing.uninstaller = existing.folder + L"\\uninst.ep";
    }
    existing.present = !existing.folder.empty() && Utils::PathExists(existing.folder);
    return existing;
}

std::wstring InstallerFileName()
{
    const std::wstring path = Utils::ModulePath();
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring ReportedPathValue(const std::wstring& value)
{
    return !value.empty() && value.back() == L'\r' ? value.substr(0, value.size() - 1) : value;
}
