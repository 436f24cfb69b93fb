#include "app/SingleInstance.h"

namespace Utils {
namespace {

// The mutex of that name, owned, or nothing when it exists already (or cannot be had, as
// when another account's copy made it: that copy runs too).
UniqueHandle CreateOwnedMutex(const std::wstring& name)
{
    UniqueHandle mutex(::CreateMutexW(nullptr, TRUE, name.c_str()));
    if (mutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.reset();
    }
    return mutex;
}

void ReleaseOwned(UniqueHandle& mutex)
{
    if (mutex) {
        ::ReleaseMutex(mutex.get());
        mutex.reset();
    }
}

} // namespace

void SingleInstance::Acquire()
{
    if (Held()) {
        return;
    }
    const std::wstring fullName = std::wstring(kPrefix) + m_name;
    m_local = CreateOwnedMutex(fullName);
    if (m_local) {
        m_global = CreateOwnedMutex(kGlobalNamespace + fullName);
    }
    if (!Held()) {
        Release();
    }
}

void SingleInstance::Release()
{
    ReleaseOwned(m_global);
    ReleaseOwned(m_local);
}

} // namespace Utils
