#include "config/DefaultFolder.h"

#include "utils/Text.h"

std::wstring JoinFolder(const std::wstring& base, const std::wstring& name)
{
    if (!base.empty() && base.back() == L'\\') {
        return base + name;
    }
    return base + L"\\" + name;
}

bool IsInsideFolder(const std::wstring& path, const std::wstring& folder)
{
    std::wstring base = folder;
    while (!base.empty() && base.back() == L'\\') {
        base.pop_back();
    }
    if (base.empty() || path.size() < base.size() || !Utils::EqualsNoCase(path.substr(0, base.size()), base)) {
        return false;
    }
    return path.size() == base.size() || path[base.size()] == L'\\';
}

std::wstring DefaultInstallFolder(const DefaultFolderInputs& inputs)
{
    if (!inputs.existingFolder.empty() && inputs.existingUninstallerPresent) {
        return inputs.existingFolder;
    }
    const bool systemProfile
        = inputs.unattended && (inputs.systemAccount || IsInsideFolder(inputs.appData, inputs.windowsFolder));
    std::wstring base;
    if (inputs.consoleUserIsAdmin && inputs.processIsAdmin && !inputs.appData.empty() && !systemProfile
        && !inputs.machineScope) {
        base = JoinFolder(inputs.appData, L"norvale");
    } else {
        base = inputs.programFilesX86;
    }
    return JoinFolder(base, L"TarvikQuill");
}
