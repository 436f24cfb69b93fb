#include "pipeline/InstallPlan.h"

#include "utils/ChangeableByOthers.h"
#include "utils/FileSystem.h"

namespace Pipeline {

bool MakeInstallFolder(const std::wstring& folder, Config::InstallScope scope)
{
    return scope == Config::InstallScope::Machine ? Utils::EnsureMachineFolderPath(folder)
                                                  : Utils::EnsureDirectoryPath(folder);
}

} // namespace Pipeline
