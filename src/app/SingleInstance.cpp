#include "app/SingleInstance.h"

namespace Utils {

void SingleInstance::Acquire()
{
    if (m_handle) {
        return;
    }
    const std::wstring fullName = std::wstring(kPrefix) + m_name;
    m_handle.reset(::CreateMutexW(nullptr, TRUE, fullName.c_str()));
    if (m_handle && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        m_handle.reset();
    }
}

void SingleInstance::Release()
{
    if (m_handle) {
        ::ReleaseMutex(m_handle.get());
        m_handle.reset();
    }
}

} // namespace Utils
