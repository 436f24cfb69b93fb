#include "msi/StubLog.h"

#include "utils/UniqueResource.h"

namespace Msi {

namespace {

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') || path.rfind(L"\\\\", 0) == 0;
}

std::wstring Expanded(const std::wstring& text)
{
    const DWORD size = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (size == 0) {
        return text;
    }
    std::wstring expanded(size, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), size);
    if (written == 0 || written > size) {
        return text;
    }
    expanded.resize(written - 1);
    return expanded;
}

std::wstring WithBackslash(std::wstring folder)
{
    if (!folder.empty() && folder.back() != L'\\') {
        folder.push_back(L'\\');
    }
    return folder;
}

} // namespace

std::wstring NewestQuietLog(const std::wstring& folder, DWORD pid)
{
    const std::wstring base = WithBackslash(folder);
    const std::wstring pattern = base + L"VellumoraInstaller-*-" + std::to_wstring(pid) + L".log";
    WIN32_FIND_DATAW found {};
    Utils::UniqueFindHandle search(::FindFirstFileW(pattern.c_str(), &found));
    if (!search) {
        return {};
    }
    std::wstring newest;
    FILETIME newestTime {};
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0
            && (newest.empty() || ::CompareFileTime(&found.ftLastWriteTime, &newestTime) > 0)) {
            newest = found.cFileName;
            newestTime = found.ftLastWriteTime;
        }
    } while (::FindNextFileW(search.get(), &found));
    return newest.empty() ? std::wstring() : base + newest;
}

std::wstring StubLogPath(const std::wstring& logOption, const std::wstring& stubFolder, DWORD stubPid)
{
    if (!logOption.empty()) {
        const std::wstring path = Expanded(logOption);
        return IsAbsolute(path) ? path : WithBackslash(stubFolder) + path;
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    return NewestQuietLog(temp, stubPid);
}

} // namespace Msi
