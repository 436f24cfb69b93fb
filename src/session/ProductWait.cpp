#include "session/ProductWait.h"

#include "utils/Processes.h"

namespace Session {

DWORD FindRunningProgram(const wchar_t* program, const std::wstring& machineFolder)
{
    return machineFolder.empty() ? Utils::FindProcessIdInOurSession(program)
                                 : Utils::FindProcessIdInOurSessionOrFolder(program, machineFolder);
}

ProductWaitEnd WaitForProductExit(
    HANDLE stopEvent, ULONGLONG limitMs, const std::wstring& machineFolder, const std::function<void(bool)>& waiting)
{
    if (FindRunningProgram(L"Quorvel.exe", machineFolder) == 0) {
        return ProductWaitEnd::ProductGone;
    }
    waiting(true);
    const ULONGLONG start = ::GetTickCount64();
    ProductWaitEnd end = ProductWaitEnd::ProductGone;
    while (FindRunningProgram(L"Quorvel.exe", machineFolder) != 0) {
        if (limitMs != 0 && ::GetTickCount64() - start >= limitMs) {
            end = ProductWaitEnd::TimedOut;
            break;
        }
        if (::WaitForSingleObject(stopEvent, 100) == WAIT_OBJECT_0) {
            end = ProductWaitEnd::Stopped;
            break;
        }
    }
    waiting(false);
    return end;
}

} // namespace Session
