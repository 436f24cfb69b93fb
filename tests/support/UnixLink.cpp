#include "support/UnixLink.h"

#include <windows.h>

namespace TestSupport {
namespace {

using UnixFileNameFn = char*(__cdecl*)(const wchar_t*);
using SpawnFn = long(WINAPI*)(char* const*, int);

template <typename F> F Export(const wchar_t* module, const char* name)
{
    const HMODULE handle = ::GetModuleHandleW(module);
    return handle ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(handle, name))) : nullptr;
}

std::string UnixName(UnixFileNameFn convert, const std::wstring& path)
{
    char* name = convert(path.c_str());
    if (!name) {
        return {};
    }
    std::string result = name;
    ::HeapFree(::GetProcessHeap(), 0, name);
    return result;
}

} // namespace

bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link)
{
    // Wine's own exports: present only under Wine.
    const auto convert = Export<UnixFileNameFn>(L"kernel32.dll", "wine_get_unix_file_name");
    const auto spawn = Export<SpawnFn>(L"ntdll.dll", "__wine_unix_spawnvp");
    if (!convert || !spawn) {
        return false;
    }
    std::string from = UnixName(convert, target);
    std::string to = UnixName(convert, link);
    if (from.empty() || to.empty()) {
        return false;
    }
    char ln[] = "/bin/ln";
    char option[] = "-sfn"; // a link left by an earlier run is replaced
    char* argv[] = { ln, option, from.data(), to.data(), nullptr };
    return spawn(argv, 1) == 0 && (::GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0
        && ::GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveUnixLink(const std::wstring& link)
{
    const auto convert = Export<UnixFileNameFn>(L"kernel32.dll", "wine_get_unix_file_name");
    const auto spawn = Export<SpawnFn>(L"ntdll.dll", "__wine_unix_spawnvp");
    std::string name = convert ? UnixName(convert, link) : std::string();
    if (!spawn || name.empty()) {
        return false;
    }
    char rm[] = "/bin/rm";
    char option[] = "-f"; // the link only, never what it points at
    char* argv[] = { rm, option, name.data(), nullptr };
    return spawn(argv, 1) == 0 && ::GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES;
}

} // namespace TestSupport
