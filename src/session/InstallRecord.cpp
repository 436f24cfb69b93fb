#include "session/InstallRecord.h"

#include <windows.h>
#include <shlobj.h>

#include "session/InstallFolders.h"
#include "utils/FileSystem.h"
#include "utils/SystemProbes.h"

namespace {

// The values RecordInstallation writes, and only those go with a removal.
constexpr const wchar_t* kRecordValues[] = { L"InstallPath", L"UnInstallEp", L"InstallVersion" };

ExistingInstallation ReadInstallationIn(Config::InstallScope scope)
{
    const Utils::RecordedInstallation record = Utils::ReadRecordedInstallation(RecordRootOf(scope));
    ExistingInstallation existing;
    existing.folder = record.installPath;
    existing.uninstaller = record.uninstallEntry;
    existing.present = !existing.folder.empty() && Utils::PathExists(existing.folder);
    existing.scope = scope;
    existing.version = record.installVersion;
    return existing;
}

} // namespace

Utils::RecordRoot RecordRootOf(Config::InstallScope scope)
{
    return scope == Config::InstallScope::Machine ? Utils::RecordRoot::Machine : Utils::RecordRoot::User;
}

bool RecordInstallation(Config::InstallScope scope, const InstallationRecord& record)
{
    const Utils::RecordRoot root = RecordRootOf(scope);
    bool written = Utils::WriteRegistryString(root, L"InstallPath", record.folder);
    const std::wstring uninstaller
        = record.reportedUninstaller.empty() ? record.folder + L"\\uninst.ep" : record.reportedUninstaller;
    if (Utils::PathExists(uninstaller)) {
        written = Utils::WriteRegistryString(root, L"UnInstallEp", uninstaller) && written;
    }
    if (record.version.empty()) {
        written = Utils::DeleteRegistryValue(root, L"InstallVersion") && written;
    } else {
        written = Utils::WriteRegistryString(root, L"InstallVersion", record.version) && written;
    }
    return written;
}

bool RemoveInstallationRecord(Config::InstallScope scope)
{
    const Utils::RecordRoot root = RecordRootOf(scope);
    bool removed = true;
    for (const wchar_t* name : kRecordValues) {
        removed = Utils::DeleteRegistryValue(root, name) && removed;
    }
    Utils::DeleteProductKeyWhenEmpty(root); // a value of someone else's keeps it
    return removed;
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

Config::InstallScope ScopeToRecord(
    const ExistingInstallation& existing, Config::InstallScope runScope, bool systemAccount)
{
    if (!existing.present) {
        return runScope;
    }
    // Never over the machine's record of another installation: that one would lose its record.
    const bool machineRecordFree = existing.machineFolder.empty()
        || ::CompareStringOrdinal(existing.machineFolder.c_str(), -1, existing.folder.c_str(), -1, TRUE) == CSTR_EQUAL;
    if (systemAccount && existing.scope == Config::InstallScope::User && runScope == Config::InstallScope::Machine
        && machineRecordFree) {
        return Config::InstallScope::Machine;
    }
    return existing.scope;
}

ExistingInstallation ReadExistingInstallation()
{
    ExistingInstallation user = ReadInstallationIn(Config::InstallScope::User);
    const ExistingInstallation machine = ReadInstallationIn(Config::InstallScope::Machine);
    if (user.present) {
        user.machineFolder = machine.present ? machine.folder : std::wstring();
        return user;
    }
    return machine.present ? machine : user;
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
