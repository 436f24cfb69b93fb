#include "utils/FileSystem.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "utils/Text.h"

namespace Utils {
namespace {

bool CreateIfMissing(const std::wstring& directory, SECURITY_ATTRIBUTES* made)
{
    return ::PathFileExistsW(directory.c_str()) || ::CreateDirectoryW(directory.c_str(), made);
}

} // namespace

bool PathExists(const std::wstring& path)
{
    return !path.empty() && ::PathFileExistsW(path.c_str());
}

bool EnsureDirectoryPath(const std::wstring& path, void* madeFolders)
{
    if (path.size() > MAX_PATH) {
        return false;
    }
    SECURITY_ATTRIBUTES attributes { sizeof(attributes), madeFolders, FALSE };
    SECURITY_ATTRIBUTES* made = madeFolders ? &attributes : nullptr;
    for (std::size_t end = path.find(L'\\'); end != std::wstring::npos; end = path.find(L'\\', end + 1)) {
        if (!CreateIfMissing(path.substr(0, end + 1), made)) {
            return false;
        }
    }
    if (!path.empty() && path.back() != L'\\') {
        return CreateIfMissing(path, made);
    }
    return true;
}

std::wstring ModulePath()
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (size == 0) {
            return {};
        }
        if (size < buffer.size()) {
            return std::wstring(buffer.data(), size);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ModuleDirectory()
{
    std::wstring path = ModulePath();
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder)
{
    std::wstring base = folder;
    while (!base.empty() && base.back() == L'\\') {
        base.pop_back();
    }
    if (base.empty() || path.size() < base.size() || !EqualsNoCase(path.substr(0, base.size()), base)) {
        return false;
    }
    return path.size() == base.size() || path[base.size()] == L'\\';
}

} // namespace Utils
