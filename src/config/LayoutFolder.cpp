#include "config/LayoutFolder.h"

#include "config/FolderOption.h"
#include "utils/Text.h"

namespace Config {

LogFilePath ResolveLayoutFolder(const std::wstring& value, const std::wstring& installerFolder)
{
    LogFilePath resolved = ResolveInstallerRelativePath(value, installerFolder);
    if (!resolved.problem.empty()) {
        return resolved;
    }
    std::wstring& path = resolved.path;
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    if (std::wstring problem = FolderNameProblem(path); !problem.empty()) {
        return { L"", std::move(problem) };
    }
    if (Utils::EqualsNoCase(path, installerFolder)) {
        return { L"", L"it is the installer's own folder" };
    }
    return resolved;
}

} // namespace Config
