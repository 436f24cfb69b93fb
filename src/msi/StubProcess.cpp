#include "msi/StubProcess.h"

#include "utils/Processes.h"
#include "utils/UniqueResource.h"

namespace Msi {

StubRun RunStub(const std::wstring& stubPath, const std::wstring& arguments)
{
    StubRun run;
    std::wstring folder = stubPath.substr(0, stubPath.find_last_of(L'\\'));
    if (folder.size() == 2) {
        folder.push_back(L'\\'); // a drive's root
    }
    std::wstring commandLine = Utils::QuoteCommandLineArgument(stubPath) + L' ' + arguments;
    STARTUPINFOW startup { sizeof(startup) };
    PROCESS_INFORMATION info {};
    if (!::CreateProcessW(stubPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
            nullptr, folder.c_str(), &startup, &info)) {
        run.error = ::GetLastError();
        return run;
    }
    Utils::UniqueHandle process(info.hProcess);
    Utils::UniqueHandle thread(info.hThread);
    run.started = true;
    run.pid = info.dwProcessId;
    if (::WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0
        || !::GetExitCodeProcess(process.get(), &run.exitCode)) {
        run.error = ::GetLastError();
        run.exitCode = static_cast<DWORD>(-1);
    }
    return run;
}

} // namespace Msi
