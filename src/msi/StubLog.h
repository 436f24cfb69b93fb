#pragma once

#include <windows.h>

#include <string>

namespace Msi {

// Where the installer's run wrote its log: the "-log=" it was given (environment variables
// expanded, a relative name taken from its folder, as the installer takes it), else the newest
// quiet-run log of its process id in the temporary folder it inherited
// ("VellumoraInstaller-YYYYMMDD-HHMMSS-PID.log"). Empty when none is found.
std::wstring StubLogPath(const std::wstring& logOption, const std::wstring& stubFolder, DWORD stubPid);

// The newest file of that pattern for pid in folder; empty when there is none.
std::wstring NewestQuietLog(const std::wstring& folder, DWORD pid);

} // namespace Msi
