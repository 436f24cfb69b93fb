#pragma once

#include <windows.h>

#include <string>

namespace Config {

// Where "-log=" (LogFile) sends the log: environment variables expanded ("%TEMP%\x.log"),
// then a name that is not a full path taken relative to the installer's folder. One that
// depends on the current drive or folder ("C:x.log", "\x.log"), or a name that does not end
// in ".log" or ".txt", gives a problem instead.
struct LogFilePath {
    std::wstring path;
    std::wstring problem; // empty when path can be tried
};
// The rule shared by every path option: environment variables expanded, then a name that is
// not a full path taken relative to the installer's folder; one that depends on the current
// drive or folder gives a problem.
LogFilePath ResolveInstallerRelativePath(const std::wstring& value, const std::wstring& installerFolder);
LogFilePath ResolveLogFilePath(const std::wstring& value, const std::wstring& installerFolder);
// "-resultfile=": the same rules, for a name that ends in ".json".
LogFilePath ResolveResultFilePath(const std::wstring& value, const std::wstring& installerFolder);
// The result file's path, or why it cannot be written where "-resultfile=" says (a problem of
// the name, or a missing folder, a link on the way, a read-only or linked file there).
LogFilePath CheckResultFile(const std::wstring& value, const std::wstring& installerFolder);
// Utils::WriteFileAtomically's or Utils::CheckFileToReplace's refusal in words.
std::wstring ReplaceErrorText(DWORD error);

// The name of a quiet run's own log: "VellumoraInstaller-20261208-182403-123.log" (local
// date and time, process id), unique enough for runs on one machine.
std::wstring DefaultLogFileName(const SYSTEMTIME& time, DWORD processId);

} // namespace Config
