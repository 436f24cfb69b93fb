#include "config/DefaultFolder.h"

#include "utils/FileSystem.h"

std::wstring JoinFolder(const std::wstring& base, const std::wstring& name)
{
    if (!base.empty() && base.back() == L'\\') {
        return base + name;
    }
    return base + L"\\" + name;
}

std::wstring DefaultInstallFolder(const DefaultFolderInputs& inputs)
{
    if (!inputs.existingFolder.empty() && inputs.existingUninstallerPresent) {
        return inputs.existingFolder;
    }
    const bool systemProfile
        = inputs.unattended && (inputs.systemAccount || Utils::IsInsideFolder(inputs.appData, inputs.windowsFolder));
    std::wstring base;
    if (inputs.consoleUserIsAdmin && inputs.processIsAdmin && !inputs.appData.empty() && !systemProfile
        && !inputs.machineScope) {
        base = JoinFolder(inputs.appData, L"norvale");
    } else {
        base = inputs.programFilesX86;
    }
    return JoinFolder(base, L"TarvikQuill");
}
