#include "config/MachinePolicy.h"

#include "config/InstallerConfig.h"
#include "config/MirrorUrls.h"
#include "utils/UniqueResource.h"

namespace Config {
namespace {

// A policy text no administrator writes by hand comes near this; a larger one is not read.
constexpr DWORD kMaxTextBytes = 64 * 1024;

const wchar_t* TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_DWORD:
        return L"REG_DWORD";
    case REG_QWORD:
        return L"REG_QWORD";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_BINARY:
        return L"REG_BINARY";
    default:
        return L"another type";
    }
}

DWORD RegistryType(PolicyType type)
{
    return type == PolicyType::Text ? REG_SZ : REG_DWORD;
}

std::optional<PolicyEntry> ReadEntry(HKEY key, const wchar_t* name)
{
    PolicyEntry entry;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key, name, nullptr, &entry.type, nullptr, &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (entry.type == REG_DWORD && bytes == sizeof(DWORD)) {
        if (::RegQueryValueExW(key, name, nullptr, &entry.type, reinterpret_cast<BYTE*>(&entry.number), &bytes)
            != ERROR_SUCCESS) {
            return std::nullopt;
        }
    } else if (entry.type == REG_SZ && bytes <= kMaxTextBytes) {
        std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
        bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (::RegQueryValueExW(key, name, nullptr, &entry.type, reinterpret_cast<BYTE*>(text.data()), &bytes)
                != ERROR_SUCCESS
            || entry.type != REG_SZ) {
            return std::nullopt;
        }
        // Stored with or without its terminating NUL; the text ends at the first.
        text.resize(bytes / sizeof(wchar_t));
        entry.text = text.substr(0, text.find(L'\0'));
    } else if (entry.type == REG_DWORD || entry.type == REG_SZ) {
        entry.type = REG_NONE; // malformed, or too long to be meant: of no usable type
    }
    return entry;
}

} // namespace

PolicyEntries ReadPolicyEntries(HKEY hive, const std::wstring& path)
{
    PolicyEntries entries;
    Utils::UniqueRegKey key;
    if (::RegOpenKeyExW(hive, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS) {
        return entries;
    }
    for (const OptionRow& row : OptionTable()) {
        if (row.policy.type == PolicyType::None) {
            continue;
        }
        if (auto entry = ReadEntry(key.get(), row.policy.name)) {
            entries.emplace(row.policy.name, std::move(*entry));
        }
    }
    return entries;
}

std::optional<std::wstring> PolicyText(PolicyType type, const PolicyEntry& entry)
{
    if (type == PolicyType::None || entry.type != RegistryType(type)) {
        return std::nullopt;
    }
    if (type == PolicyType::Text) {
        return entry.text;
    }
    if (type == PolicyType::Switch && entry.number <= 1) {
        return entry.number == 1 ? L"true" : L"false";
    }
    return std::to_wstring(entry.number); // a switch's other numbers are refused as such
}

void ApplyPolicy(InstallerConfig& config, const PolicyEntries& entries)
{
    std::map<std::wstring, std::wstring> wrongType;
    for (const OptionRow& row : OptionTable()) {
        const auto entry = row.policy.type == PolicyType::None ? entries.end() : entries.find(row.policy.name);
        if (entry == entries.end()) {
            continue;
        }
        const std::optional<std::wstring> text = PolicyText(row.policy.type, entry->second);
        if (text) {
            row.apply(config, row, *text, Layer::Policy);
            config.FromPolicy.insert(row.name);
            continue;
        }
        wrongType[row.name] = GivenText(row,
            std::wstring(L"(a ") + TypeName(entry->second.type) + L" value, not "
                + TypeName(RegistryType(row.policy.type)) + L")",
            Layer::Policy);
        if (row.accepted) {
            // An exact setting takes the fallback of any refused value: a policy that means to
            // forbid never leaves a command line's allowance in force by a typing slip.
            row.apply(config, row, L"", Layer::Policy);
        }
    }
    CheckMirrorUrls(config);
    for (auto& [name, given] : wrongType) {
        config.InvalidValues[name] = std::move(given);
    }
}

} // namespace Config
