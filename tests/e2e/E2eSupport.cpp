#include "E2eSupport.h"

#include <shlobj.h>

#include <cstdlib>

#include "DemoHelpers.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "utils/Registry.h"

namespace E2e {

std::wstring ProductValue(const wchar_t* name, Utils::RecordRoot root)
{
    DWORD type = 0;
    std::wstring text;
    Utils::ReadRegistryString(root, name, type, text);
    return text;
}

std::wstring DefaultFolder()
{
    wchar_t base[MAX_PATH] = {};
    if (!::SHGetSpecialFolderPathW(nullptr, base, CSIDL_PROGRAM_FILESX86, FALSE)) {
        ::SHGetSpecialFolderPathW(nullptr, base, CSIDL_PROGRAM_FILES, FALSE);
    }
    return std::wstring(base) + L"\\TarvikQuill";
}

std::wstring AnalyticsFile()
{
    wchar_t base[MAX_PATH + 1] = {};
    ::GetEnvironmentVariableW(L"APPDATA", base, MAX_PATH + 1);
    return std::wstring(base) + L"\\TarvikData\\TarvikQuill\\TKSensorsAnalytics.ini";
}

bool PaddedCopy(const std::wstring& version, const std::wstring& to, std::size_t size)
{
    std::string bytes = TestSupport::ReadFileBytes(DemoTest::PackagePath(version));
    if (bytes.empty()) {
        return false;
    }
    if (bytes.size() < size) {
        bytes.resize(size, '\0');
    }
    return TestSupport::WriteFileBytes(to, bytes);
}

bool PaddedScriptedChild(const std::wstring& to, std::size_t size)
{
    std::string bytes = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
    if (bytes.empty()) {
        return false;
    }
    if (bytes.size() < size) {
        bytes.resize(size, '\0');
    }
    return TestSupport::WriteFileBytes(to, bytes);
}

std::unique_ptr<DemoTest::ServerProcess> StartPackageServer(const std::wstring& package, int lifetimeSeconds, int& port)
{
    auto server = std::make_unique<DemoTest::ServerProcess>(
        L"--package=" + TestSupport::QuoteArgument(package) + L" --lifetime=" + std::to_wstring(lifetimeSeconds));
    port = server->WaitForPort(15000);
    return server;
}

std::size_t Count(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

LoggedInstaller::LoggedInstaller(const std::wstring& exe, const std::wstring& arguments, const std::wstring& logFile)
    : m_logFile(logFile)
{
    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueFileHandle output(::CreateFileW(logFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output) {
        return;
    }
    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    std::wstring commandLine = TestSupport::QuoteArgument(TestSupport::BinDirectory() + L"\\vlmlog.exe")
        + L" --timeout=60 " + TestSupport::QuoteArgument(exe);
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    PROCESS_INFORMATION info {};
    if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, folder.c_str(),
            &startup, &info)) {
        m_viewer.reset(info.hProcess);
        Utils::UniqueHandle thread(info.hThread);
    }
}

LoggedInstaller::~LoggedInstaller()
{
    if (const DWORD pid = InstallerPid()) {
        Utils::UniqueHandle installer(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (installer && ::WaitForSingleObject(installer.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(installer.get(), 1);
            ::WaitForSingleObject(installer.get(), 5000);
        }
    }
    if (m_viewer && ::WaitForSingleObject(m_viewer.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_viewer.get(), 1);
        ::WaitForSingleObject(m_viewer.get(), 5000);
    }
}

DWORD LoggedInstaller::WaitExit(DWORD timeoutMs) const
{
    DWORD code = STILL_ACTIVE;
    if (m_viewer && ::WaitForSingleObject(m_viewer.get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(m_viewer.get(), &code);
    }
    return code;
}

std::string LoggedInstaller::Log() const
{
    return TestSupport::ReadFileBytes(m_logFile);
}

DWORD LoggedInstaller::InstallerPid() const
{
    const std::string log = Log();
    const std::size_t at = log.find("<P");
    return at == std::string::npos ? 0 : static_cast<DWORD>(std::strtoul(log.c_str() + at + 2, nullptr, 10));
}

} // namespace E2e
