#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ServerHarness.h"
#include "utils/Registry.h"
#include "utils/UniqueResource.h"

// What the end-to-end tests share: the machine's product records and a logged installer run.
namespace E2e {

// A value of the product's key in a record (the account's by default); empty when missing.
std::wstring ProductValue(const wchar_t* name, Utils::RecordRoot root = Utils::RecordRoot::User);
// The default install folder: "TarvikQuill" under the 32-bit Program Files folder.
std::wstring DefaultFolder();
std::wstring AnalyticsFile();
// A copy of a demo package, padded with zeros to size bytes (the downloaders' size floors).
bool PaddedCopy(const std::wstring& version, const std::wstring& to, std::size_t size);
// The scripted child as a package, padded the same way: it plays the script it finds beside the
// folder it is told to install into, or none.
bool PaddedScriptedChild(const std::wstring& to, std::size_t size);
// The package server serving package (and the other files of its folder) for lifetimeSeconds;
// port is 0 when it never listened.
std::unique_ptr<DemoTest::ServerProcess> StartPackageServer(
    const std::wstring& package, int lifetimeSeconds, int& port);
std::size_t Count(const std::string& text, const std::string& needle);

// The installer run under vlmlog.exe, its log lines going to a file. The destructor ends
// both when they are still there.
class LoggedInstaller {
public:
    LoggedInstaller(const std::wstring& exe, const std::wstring& arguments, const std::wstring& logFile);
    ~LoggedInstaller();
    LoggedInstaller(const LoggedInstaller&) = delete;
    LoggedInstaller& operator=(const LoggedInstaller&) = delete;

    bool Started() const noexcept { return m_viewer.valid(); }
    // The installer's exit code (vlmlog passes it on), or STILL_ACTIVE when it did not end.
    DWORD WaitExit(DWORD timeoutMs) const;
    std::string Log() const;
    // The installer's process id, from the prefix of its log lines ("<P00123>"); 0 before
    // its first line.
    DWORD InstallerPid() const;

private:
    std::wstring m_logFile;
    Utils::UniqueHandle m_viewer;
};

} // namespace E2e
