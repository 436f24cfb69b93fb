#include "session/ProductWait.h"

#include "utils/Processes.h"

namespace Session {

ProductWaitEnd WaitForProductExit(HANDLE stopEvent, ULONGLONG limitMs, const std::function<void(bool)>& waiting)
{
    if (Utils::FindProcessIdInOurSession(L"Quorvel.exe") == 0) {
        return ProductWaitEnd::ProductGone;
    }
    waiting(true);
    const ULONGLONG start = ::GetTickCount64();
    ProductWaitEnd end = ProductWaitEnd::ProductGone;
    while (Utils::FindProcessIdInOurSession(L"Quorvel.exe") != 0) {
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
