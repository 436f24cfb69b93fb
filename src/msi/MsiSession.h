#pragma once

#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <string>

#include "utils/UniqueResource.h"

namespace Msi {

struct MsiHandleTraits {
    using Type = MSIHANDLE;
    static Type Invalid() noexcept { return 0; }
    static void Close(Type h) noexcept { ::MsiCloseHandle(h); }
};
using UniqueMsiHandle = Utils::UniqueResource<MsiHandleTraits>;

// The running installation as a custom action sees it. The session handle belongs to Windows
// Installer; records made here are closed here.
class MsiSession {
public:
    explicit MsiSession(MSIHANDLE install) noexcept
        : m_install(install)
    {
    }

    // A property's value; empty when it is not set (or cannot be read).
    std::wstring Property(const wchar_t* name) const;
    bool SetProperty(const wchar_t* name, const std::wstring& value) const;
    // A formatted text ("[#FileKey]" is a file's installed path); empty on failure.
    std::wstring Format(const std::wstring& text) const;
    // One line in the MSI log ("msiexec /l*v").
    void Log(const std::wstring& text) const;
    // The installation ends asking for a restart: msiexec returns 3010.
    void RequestRestart() const;

private:
    MSIHANDLE m_install;
};

} // namespace Msi
