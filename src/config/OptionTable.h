#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "config/InstallerConfig.h"

namespace Config {

struct RunSettings;

// How the log's settings line shows a setting.
enum class LogShow {
    AsIs,
    Redacted, // a URL's sign-in and query, a "user:password@" password hidden
    Hidden, // its length only, unless LogInstCmd asks for the text
    Omitted, // not a setting ("-help", "-version")
};

// Where a value came from: the refusal quotes it as it was written there.
enum class Layer { SettingsFile, CommandLine, Policy };

// Whether a machine policy (a value of the policy key, Config::kPolicyKey) may set an option,
// and as what registry value.
enum class PolicyType {
    None,
    Text, // REG_SZ: the option's text
    Number, // REG_DWORD: its decimal digits
    Switch, // REG_DWORD: 1 true, 0 false
};

struct PolicyValue {
    PolicyType type = PolicyType::None;
    const wchar_t* name = nullptr; // the value's name under the policy key
};

// One option of the installer: everything the command line, the settings file, "-help", the
// log's settings line and the unattended refusals know of it. A new option is one row.
struct OptionRow {
    const wchar_t* option; // "-quiet"; nullptr: the settings file only
    const wchar_t* alias; // a second command-line name ("/?"), or nullptr
    const wchar_t* name; // the setting's name: its settings-file key, the log's and refusals' name
    bool hasKey; // the settings file may set it (under name)
    std::size_t room; // the settings file's buffer: a longer value is cut to room - 1
    const wchar_t* fileDefault; // what a missing key reads as; nullptr: a missing key changes nothing
    const wchar_t* values; // the accepted values, for "-help" and the docs: "true|false"
    const wchar_t* help; // "-help"'s words; lines separated by '\n', each at most 53 characters
    // A value outside values: its refusal says this (nullptr: every value is taken). Every
    // refusal stops an unattended run before anything is done (exit code 2).
    const wchar_t* accepted;
    LogShow show;
    void (*apply)(InstallerConfig& config, const OptionRow& row, const std::wstring& value, Layer layer);
    // The setting in force as the log shows it, before LogShow's hiding.
    std::wstring (*describe)(const InstallerConfig& config, const RunSettings& settings);
    // The log's line on why the value in force cannot be used, found once the run's record is
    // made (a check beyond accepted's); empty: usable. Never quotes a password.
    std::wstring (*problem)(const InstallerConfig& config, const RunSettings& settings);
    // Last, so a row that no policy governs leaves it out.
    PolicyValue policy = {};
};

std::span<const OptionRow> OptionTable();

// The row of a command-line name ("-quiet", "/?") or of a setting's name ("Quiet"); nullptr.
const OptionRow* FindOption(const std::wstring& optionOrName);

// The text a refusal quotes: "-quiet=yes" from the command line, "Quiet=yes" from the file,
// "policy AllowDowngrade=2" from the machine policy.
std::wstring GivenText(const OptionRow& row, const std::wstring& value, Layer layer);

} // namespace Config
