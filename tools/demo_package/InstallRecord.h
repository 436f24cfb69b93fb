#pragma once

#include <optional>
#include <string>
#include <vector>

namespace Demo {

// What one installation put on the machine, kept in the installed folder so that the
// uninstaller removes exactly that and nothing the user added.
struct InstallRecord {
    std::wstring version;
    std::vector<std::wstring> files; // names inside the installed folder
    std::vector<std::wstring> shortcuts; // full paths
};

inline constexpr wchar_t kInstallRecordName[] = L"install.rec";

// UTF-8 lines "version=", "file=", "shortcut="; unknown lines are skipped. Empty when the
// file cannot be read.
std::optional<InstallRecord> ReadInstallRecord(const std::wstring& path);
bool WriteInstallRecord(const std::wstring& path, const InstallRecord& record);

// Adds the entries of from that into lacks; the version becomes from's.
void MergeInstallRecord(InstallRecord& into, const InstallRecord& from);

// A name that stays inside its folder: no separators, no drive, not "." or "..".
bool IsPlainFileName(const std::wstring& name);

} // namespace Demo
