#pragma once

#include <windows.h>

#include <utility>

namespace Toolkit {

// Owns one Win32/GDI resource; Traits give its type, its invalid value and how to free it.
// reset() keeps the thread's last error so a failing call's code survives the cleanup.
template <typename Traits> class Unique {
public:
    using Type = typename Traits::Type;

    Unique() noexcept = default;
    explicit Unique(Type value) noexcept
        : m_value(value)
    {
    }
    ~Unique() { reset(); }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    Unique(Unique&& other) noexcept
        : m_value(other.release())
    {
    }
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    Type get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::Invalid(); }

    void reset(Type value = Traits::Invalid()) noexcept
    {
        if (m_value != Traits::Invalid()) {
            const DWORD lastError = ::GetLastError();
            Traits::Close(m_value);
            ::SetLastError(lastError);
        }
        m_value = value;
    }
    [[nodiscard]] Type release() noexcept { return std::exchange(m_value, Traits::Invalid()); }

private:
    Type m_value = Traits::Invalid();
};

template <typename T> struct GdiObjectTraits {
    using Type = T;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DeleteDC(h); }
};
struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::DestroyWindow(h); }
};

using UniqueFont = Unique<GdiObjectTraits<HFONT>>;
using UniqueBitmap = Unique<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = Unique<GdiObjectTraits<HBRUSH>>;
using UniqueRegion = Unique<GdiObjectTraits<HRGN>>;
using UniqueMemoryDc = Unique<MemoryDcTraits>;
using UniqueWindow = Unique<WindowTraits>;

// A DC from GetDC, released to its window.
class WindowDc {
public:
    explicit WindowDc(HWND hwnd) noexcept
        : m_hwnd(hwnd)
        , m_dc(::GetDC(hwnd))
    {
    }
    ~WindowDc()
    {
        if (m_dc) {
            ::ReleaseDC(m_hwnd, m_dc);
        }
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return m_dc; }

private:
    HWND m_hwnd;
    HDC m_dc;
};

// Selects a GDI object into a DC and puts the previous one back at the end of the scope.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) noexcept
        : m_dc(dc)
        , m_previous(object ? ::SelectObject(dc, object) : nullptr)
    {
    }
    ~SelectedObject()
    {
        if (m_previous) {
            ::SelectObject(m_dc, m_previous);
        }
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// BeginPaint/EndPaint pair.
class PaintScope {
public:
    explicit PaintScope(HWND hwnd) noexcept
        : m_hwnd(hwnd)
    {
        m_dc = ::BeginPaint(hwnd, &m_ps);
    }
    ~PaintScope() { ::EndPaint(m_hwnd, &m_ps); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const noexcept { return m_dc; }
    const RECT& area() const noexcept { return m_ps.rcPaint; }

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps {};
    HDC m_dc = nullptr;
};

} // namespace Toolkit
