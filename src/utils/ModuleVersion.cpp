#include "utils/ModuleVersion.h"

#include <windows.h>

#include <cstring>
#include <cwctype>
#include <vector>

#include "utils/UniqueResource.h"

namespace Utils {

namespace {

std::wstring DottedVersion(const VS_FIXEDFILEINFO& info)
{
    return std::to_wstring(HIWORD(info.dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionMS)) + L"."
        + std::to_wstring(HIWORD(info.dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(info.dwFileVersionLS));
}

} // namespace

namespace {

// The fixed part of a module's version resource: it follows the block's header and key at a
// 32-bit boundary, and its signature finds it without walking the block.
std::wstring VersionResourceOf(HMODULE module)
{
    const HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
    const HGLOBAL loaded = resource ? ::LoadResource(module, resource) : nullptr;
    const auto* bytes = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
    if (!bytes) {
        return {};
    }
    const DWORD size = ::SizeofResource(module, resource);
    for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, bytes + at, sizeof(info));
        if (info.dwSignature == VS_FFI_SIGNATURE) {
            return DottedVersion(info);
        }
    }
    return {};
}

struct DataModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type module) noexcept { ::FreeLibrary(module); }
};

} // namespace

std::wstring ModuleFileVersion()
{
    return VersionResourceOf(::GetModuleHandleW(nullptr));
}

std::wstring FileVersionOf(const std::wstring& path)
{
    // Its resources as data, without version.dll (a DLL the installer would have to load from
    // the system folder) and without running any of the file's code; read sharing only, so a
    // hold that denies writing and deleting keeps it.
    Utils::UniqueResource<DataModuleTraits> module(
        ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    return module ? VersionResourceOf(module.get()) : std::wstring();
}

std::optional<std::vector<unsigned long>> ParseVersion(const std::wstring& text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::iswspace(text[begin])) {
        ++begin;
    }
    while (end > begin && std::iswspace(text[end - 1])) {
        --end;
    }
    std::vector<unsigned long> parts;
    unsigned long long part = 0;
    bool digits = false;
    for (std::size_t at = begin; at <= end; ++at) {
        if (at == end || text[at] == L'.') {
            if (!digits) {
                return std::nullopt; // "", "1.", ".1", "1..2"
            }
            parts.push_back(static_cast<unsigned long>(part));
            part = 0;
            digits = false;
        } else if (text[at] >= L'0' && text[at] <= L'9') {
            part = part * 10 + static_cast<unsigned>(text[at] - L'0');
            if (part > 0xFFFFFFFFull) {
                return std::nullopt;
            }
            digits = true;
        } else {
            return std::nullopt;
        }
    }
    return parts;
}

int CompareVersions(const std::vector<unsigned long>& a, const std::vector<unsigned long>& b)
{
    for (std::size_t at = 0; at < a.size() || at < b.size(); ++at) {
        const unsigned long left = at < a.size() ? a[at] : 0;
        const unsigned long right = at < b.size() ? b[at] : 0;
        if (left != right) {
            return left < right ? -1 : 1;
        }
    }
    return 0;
}

} // namespace Utils
