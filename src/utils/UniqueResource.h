#pragma once

#include <windows.h>

#include <utility>

namespace Utils {

// Owns one resource described by Traits (its type, its invalid value, how to close it).
// Move-only; reset() keeps the thread's last error so a failing API call's code
// survives the cleanup of whatever was opened before it.
template <typename Traits> class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept
        : m_value(value)
    {
    }
    ~UniqueResource() { reset(); }

    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept
        : m_value(other.release())
    {
    }
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Type get() const noexcept { return m_value; }
    bool valid() const noexcept { return m_value != Traits::Invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    void reset(Type value = Traits::Invalid()) noexcept
    {
        if (valid()) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(m_value);
            ::SetLastError(lastError);
        }
        m_value = value;
    }

    [[nodiscard]] Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

    // For APIs that return the resource through an out-parameter.
    Type* put() noexcept
    {
        reset();
        return &m_value;
    }

private:
    Type m_value = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

// CreateFile, CreateToolhelp32Snapshot and friends fail with INVALID_HANDLE_VALUE, not null.
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::RegCloseKey(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct LocalMemTraits {
    using Type = HLOCAL;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::LocalFree(h); }
};

struct FindFileTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::FindClose(h); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueLocalMem = UniqueResource<LocalMemTraits>;
using UniqueFindHandle = UniqueResource<FindFileTraits>;

// Runs a callable when the scope ends, unless dismissed.
template <typename F> class ScopeExit {
public:
    explicit ScopeExit(F f) noexcept
        : m_f(std::move(f))
    {
    }
    ~ScopeExit()
    {
        if (m_active) {
            m_f();
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void dismiss() noexcept { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};

} // namespace Utils
