#include "pipeline/WorkTempDir.h"

#include <windows.h>

#include "utils/FileSystem.h"

namespace Pipeline {

std::wstring GetWorkTempDir()
{
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, temp);
    if (length == 0 || length > MAX_PATH) {
        return {};
    }
    std::wstring folder = std::wstring(temp, length) + L"~TarvikTemp.92482B06FB471E17\\";
    if (!Utils::EnsureDirectoryPath(folder)) {
        return {};
    }
    return folder;
}

std::wstring TemporaryUninstallerPath()
{
    const std::wstring folder = GetWorkTempDir();
    // The folder ends in a backslash already; Windows accepts the doubled one.
    return folder.empty() ? std::wstring() : folder + L"\\TarvikQuill_un_asa.exe";
}

} // namespace Pipeline
