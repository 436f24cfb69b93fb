#pragma once

#include <windows.h>

#include <string>

#include "utils/UniqueResource.h"

namespace Utils {

// Holds the named mutex that tells a second copy of the installer that one is running.
class SingleInstance {
public:
    static constexpr wchar_t kPrefix[] = L"D1A547DB89C0BC61_";

    explicit SingleInstance(std::wstring name)
        : m_name(std::move(name))
    {
    }
    ~SingleInstance() { Release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Takes the mutex unless another copy already has it; check Held() afterwards.
    void Acquire();
    bool Held() const noexcept { return m_handle.valid(); }
    void Release();

private:
    std::wstring m_name;
    UniqueHandle m_handle;
};

} // namespace Utils
