#include "session/InstallRecord.h"

#include <windows.h>

#include <string_view>

#include "session/InstallFolders.h"
#include "utils/FileSystem.h"
#include "utils/GuardedPath.h"
#include "utils/Log.h"
#include "utils/OutputFile.h"
#include "utils/SystemProbes.h"
#include "utils/UniqueResource.h"

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

bool SameAscii(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// text (a profile file's bytes, ANSI or UTF-8) with key := value in section, the rest as it was:
// what WritePrivateProfileString would make of it, done in memory so that the file can be
// replaced through a held folder.
std::string WithProfileValue(std::string text, std::string_view section, std::string_view key, std::string_view value)
{
    const std::string line = std::string(key) + "=" + std::string(value) + "\r\n";
    bool inside = false;
    std::size_t sectionEnd = std::string::npos; // where a new key of the section goes
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = text.find('\n', from);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string_view current = TrimBlanks(std::string_view(text).substr(from, end - from));
        if (!current.empty() && current[0] == '[') {
            if (inside) {
                break;
            }
            const std::size_t close = current.find(']');
            inside = SameAscii(
                TrimBlanks(current.substr(1, close == std::string_view::npos ? close : close - 1)), section);
            sectionEnd = inside ? end : sectionEnd;
        } else if (inside) {
            const std::size_t equals = current.find('=');
            if (equals != std::string_view::npos && SameAscii(TrimBlanks(current.substr(0, equals)), key)) {
                return text.replace(from, end - from, line);
            }
            sectionEnd = current.empty() ? sectionEnd : end;
        }
        from = end;
    }
    if (sectionEnd == std::string::npos) {
        if (!text.empty() && text.back() != '\n') {
            text += "\r\n";
        }
        return text + "[" + std::string(section) + "]\r\n" + line;
    }
    if (sectionEnd > 0 && text[sectionEnd - 1] != '\n') {
        text.insert(sectionEnd, "\r\n");
        sectionEnd += 2;
    }
    return text.insert(sectionEnd, line);
}

// The analytics file's UpdateTime, written as the result file is: never through a link.
DWORD WriteAnalyticsTime(const std::wstring& path, const std::string& stamp)
{
    std::string bytes;
    Utils::UniqueFileHandle file;
    DWORD error = Utils::OpenGuardedFile(path, GENERIC_READ, FILE_SHARE_READ, FILE_OPEN, file);
    if (error == ERROR_SUCCESS) {
        LARGE_INTEGER size {};
        if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > 1024 * 1024) {
            return ERROR_FILE_TOO_LARGE;
        }
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
            return ::GetLastError();
        }
        bytes.resize(got);
        file.reset();
    } else if (error != ERROR_FILE_NOT_FOUND) {
        return error;
    }
    // A file the profile functions wrote as UTF-16 is left to them.
    if (bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0) {
        return ERROR_UNSUPPORTED_TYPE;
    }
    return Utils::WriteFileAtomically(path, WithProfileValue(std::move(bytes), "Init", "UpdateTime", stamp));
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
    // Never a shared folder (the public documents were one): any user could plant a link there
    // for an elevated run, or a run as the system account with a bare environment, to follow.
    wchar_t base[MAX_PATH + 1] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"APPDATA", base, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return {};
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
    if (dataFolder.empty()) {
        LOG(L"analytics file not written: the account has no data folder (APPDATA)\r\n");
        return;
    }
    if (!Utils::EnsureDirectoryPath(dataFolder)) {
        return;
    }
    const std::wstring analyticsFile = dataFolder + L"\\TKSensorsAnalytics.ini";
    ::WritePrivateProfileStringW(L"Install", L"TKSensorsAnalyticsIni", analyticsFile.c_str(), stateFile.c_str());
    SYSTEMTIME now {};
    ::GetLocalTime(&now);
    char stamp[64] = {};
    _snprintf(
        stamp, 63, "%d-%02d-%02d %02d:%02d:%02d", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    if (const DWORD error = WriteAnalyticsTime(analyticsFile, stamp); error != ERROR_SUCCESS) {
        LOG(L"analytics file '%s' not written (error %lu)\r\n", analyticsFile.c_str(), error);
    }
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
