#pragma once

#include <windows.h>

#include <string>

namespace Utils {

// Raised when a pipe or a child process cannot be created; caught inside the child
// runner and never passed beyond it.
class Exception {
public:
    Exception(std::wstring what, DWORD errorCode)
        : m_what(std::move(what))
        , m_errorCode(errorCode)
    {
    }
    const std::wstring& What() const noexcept { return m_what; }
    DWORD ErrorCode() const noexcept { return m_errorCode; }

private:
    std::wstring m_what;
    DWORD m_errorCode;
};

} // namespace Utils
