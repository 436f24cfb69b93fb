#include "toolkit/DpiScale.h"

#include "toolkit/Handles.h"

namespace Toolkit {

int DpiScale::Unscale(int physical) const noexcept
{
    if (dpi == 0) {
        return physical;
    }
    int logical = ::MulDiv(physical, kBase, static_cast<int>(dpi));
    while ((*this)(logical) < physical) {
        ++logical;
    }
    return logical;
}

UINT WindowDpi(HWND hwnd)
{
    // Windows 10 1607 and later; loaded at run time so older systems still start the program.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = [] {
        const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
        return user32
            ? reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(::GetProcAddress(user32, "GetDpiForWindow")))
            : nullptr;
    }();
    if (getDpiForWindow && hwnd) {
        if (const UINT dpi = getDpiForWindow(hwnd)) {
            return dpi;
        }
    }
    WindowDc dc(hwnd);
    const int dpi = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 0;
    return dpi > 0 ? static_cast<UINT>(dpi) : DpiScale::kBase;
}

std::wstring ImageSetName(std::wstring_view name, const ImageSet& set)
{
    std::wstring result(name);
    if (!*set.suffix) {
        return result;
    }
    const auto slash = result.find_last_of(L"/\\");
    const auto dot = result.find_last_of(L'.');
    const auto at = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash) ? dot : result.size();
    result.insert(at, set.suffix);
    return result;
}

} // namespace Toolkit
