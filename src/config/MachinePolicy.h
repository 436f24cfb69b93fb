#pragma once

#include <windows.h>

#include <map>
#include <optional>
#include <string>

#include "config/OptionTable.h"

struct InstallerConfig;

namespace Config {

// Where Group Policy and management tools put the values an administrator governs (HKLM).
// Windows shares the key between the 32-bit and the 64-bit registry views.
inline constexpr wchar_t kPolicyKey[] = L"Software\\Policies\\TarvikSoft\\Vellumora";

// One value of the policy key as stored: its registry type and its text (REG_SZ) or number
// (REG_DWORD).
struct PolicyEntry {
    DWORD type = REG_NONE;
    std::wstring text;
    DWORD number = 0;
};
using PolicyEntries = std::map<std::wstring, PolicyEntry>; // by value name

// The values the option table's policy rows name, read once from hive\path (in the 64-bit view
// on 64-bit Windows, where policy tools write); a missing key gives none.
PolicyEntries ReadPolicyEntries(HKEY hive, const std::wstring& path);

// The option's text for a policy value of the row's type; nothing when the value's registry
// type is not the row's ("policy DownloadType" as a REG_SZ).
std::optional<std::wstring> PolicyText(PolicyType type, const PolicyEntry& entry);

// The last layer: every policy value overrides the settings file and the command line. A value
// that cannot be used is refused as any layer's (an unattended run ends with code 2), and one
// of the wrong registry type too; either leaves an exact setting at its fallback (an allowance
// turns false), the others as the layers before left them.
void ApplyPolicy(InstallerConfig& config, const PolicyEntries& entries);

} // namespace Config
