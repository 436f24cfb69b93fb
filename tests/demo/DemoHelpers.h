#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/ProcessRunner.h"
#include "utils/UniqueResource.h"

namespace DemoTest {

// The package's arguments as the installer puts them together.
struct InstallArgs {
    bool dsc = false;
    bool ssc = false;
    std::wstring language; // -inslang, none when empty
    std::wstring instCmd = L"-stepms=0"; // extra arguments, none when empty
    std::wstring folder; // -instdir and /D=, none when empty
};

std::wstring PackagePath(const std::wstring& version);
std::wstring InstallerCommandLine(const std::wstring& packagePath, const InstallArgs& args);
TestSupport::ProcessResult RunPackage(const std::wstring& version, const InstallArgs& args);

// Runs a temporary copy of folder's uninst.ep the way the installer does, _?= last and
// unquoted; extra goes before the fixed arguments.
TestSupport::ProcessResult RunUninstaller(const std::wstring& folder, const std::wstring& extra = L"-stepms=0 ");

// The output split into lines without their "\r\n"; the value of the first "key=" line.
std::vector<std::string> Lines(const std::string& output);
std::string Value(const std::vector<std::string>& lines, const std::string& key);
std::vector<double> ProgressValues(const std::vector<std::string>& lines);
bool HasLineStarting(const std::vector<std::string>& lines, const std::string& prefix);

std::string Utf8(const std::wstring& text);
// "major.minor" of a program's version resource, empty when it has none.
std::wstring FileVersion(const std::wstring& path);
std::wstring IniValue(const std::wstring& path, const wchar_t* section, const wchar_t* key);
bool Exists(const std::wstring& path);

// Holds a file open with no sharing, so nobody else can write or delete it.
class FileLock {
public:
    explicit FileLock(const std::wstring& path);
    bool locked() const noexcept { return m_file.valid(); }
    void Release() { m_file.reset(); }

private:
    Utils::UniqueFileHandle m_file;
};

} // namespace DemoTest
