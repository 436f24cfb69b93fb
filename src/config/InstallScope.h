#pragma once

#include <optional>
#include <string_view>

namespace Config {

// Whose installation a run makes and changes: the account's own (its hive, its profile) or
// the machine's (HKLM in the 32-bit view, Program Files), which every account finds.
enum class InstallScope { User, Machine };

// "-scope=": "user" or "machine" (any case); anything else is no scope.
std::optional<InstallScope> ParseInstallScope(std::wstring_view text);
// The scope given wins; otherwise a quiet run as the system account (a deployment tool)
// installs for the machine, every other run for its account.
InstallScope ChooseInstallScope(std::optional<InstallScope> given, bool quiet, bool systemAccount);
// "user" or "machine", as the log and the result file write it.
const wchar_t* ScopeName(InstallScope scope);

// "-shortcuts=": which of the package's shortcuts a quiet install asks for.
struct ShortcutChoice {
    bool desktop = true;
    bool quickLaunch = true;
};
// "none", "desktop", "quicklaunch" or "both" (any case); anything else is no choice.
std::optional<ShortcutChoice> ParseShortcutChoice(std::wstring_view text);

} // namespace Config
