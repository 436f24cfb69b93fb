#include "config/InstallScope.h"

#include <windows.h>

#include <string>

namespace Config {
namespace {

bool SameWord(std::wstring_view text, const wchar_t* word)
{
    const std::wstring given(text);
    return ::CompareStringOrdinal(given.c_str(), -1, word, -1, TRUE) == CSTR_EQUAL;
}

} // namespace

std::optional<InstallScope> ParseInstallScope(std::wstring_view text)
{
    if (SameWord(text, L"user")) {
        return InstallScope::User;
    }
    if (SameWord(text, L"machine")) {
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
    if (SameWord(text, L"both")) {
        return ShortcutChoice { true, true };
    }
    if (SameWord(text, L"desktop")) {
        return ShortcutChoice { true, false };
    }
    if (SameWord(text, L"quicklaunch")) {
        return ShortcutChoice { false, true };
    }
    if (SameWord(text, L"none")) {
        return ShortcutChoice { false, false };
    }
    return std::nullopt;
}

} // namespace Config
