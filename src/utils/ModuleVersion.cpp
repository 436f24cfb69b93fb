#include "utils/ModuleVersion.h"

#include <windows.h>

#include <cstring>

namespace Utils {

std::wstring ModuleFileVersion()
{
    const HMODULE module = ::GetModuleHandleW(nullptr);
    const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    const auto* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    if (!bytes) {
        return {};
    }
    // The fixed part follows the block's header and key at a 32-bit boundary; its signature
    // finds it without walking the block.
    const DWORD size = ::SizeofResource(module, resource);
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + at, sizeof(info));
        if (info.dwSignature == VS_FFI_SIGNATURE) {
            return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionMS))
                + L"." + std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"."
                + std::to_wstring(LOWORD(info.dwFileVersionLS));
        }
    }
    return {};
}

} // namespace Utils
