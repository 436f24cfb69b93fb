#pragma once

#include <windows.h>

#include <string>

#include "utils/UniqueResource.h"

namespace Utils {

// Holds the named mutexes that tell a second copy of the installer that one is running: one
// in this session's namespace and one in the global namespace, which copies in other sessions
// (another user's, or a deployment tool's in session 0) see as well.
class SingleInstance {
public:
    static constexpr wchar_t kPrefix[] = L"D1A547DB89C0BC61_";
    static constexpr wchar_t kGlobalNamespace[] = L"Global\\";

    explicit SingleInstance(std::wstring name)
        : m_name(std::move(name))
    {
    }
    ~SingleInstance() { Release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes both mutexes unless another copy has either; check Held() afterwards.
    void Acquire();
    bool Held() const noexcept { return m_local.valid() && m_global.valid(); }
    void Release();

private:
    std::wstring m_name;
    UniqueHandle m_local;
    UniqueHandle m_global;
};

} // namespace Utils
