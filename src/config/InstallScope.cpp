#include "config/InstallScope.h"

#include "utils/Text.h"

namespace Config {

std::optional<InstallScope> ParseInstallScope(std::wstring_view text)
{
    if (Utils::EqualsNoCase(text, L"user")) {
        return InstallScope::User;
    }
    if (Utils::EqualsNoCase(text, L"machine")) {
        return InstallScope::Machine;
    }
    return std::nullopt;
}

InstallScope ChooseInstallScope(std::optional<InstallScope> given, bool quiet, bool systemAccount)
{
    if (given) {
        return *given;
    }
    return quiet && systemAccount ? InstallScope::Machine : InstallScope::User;
}

const wchar_t* ScopeName(InstallScope scope)
{
    return scope == InstallScope::Machine ? L"machine" : L"user";
}

std::optional<ShortcutChoice> ParseShortcutChoice(std::wstring_view text)
{
    if (Utils::EqualsNoCase(text, L"both")) {
        return ShortcutChoice { true, true };
    }
    if (Utils::EqualsNoCase(text, L"desktop")) {
        return ShortcutChoice { true, false };
    }
    if (Utils::EqualsNoCase(text, L"quicklaunch")) {
        return ShortcutChoice { false, true };
    }
    if (Utils::EqualsNoCase(text, L"none")) {
        return ShortcutChoice { false, false };
    }
    return std::nullopt;
}

} // namespace Config
