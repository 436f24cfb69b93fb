#pragma once

#include <string>

#include "config/InstallScope.h"
#include "install/PackageCommand.h"

namespace Pipeline {

// Everything one installation (or removal) is to do, decided once by the session and carried
// out by the pipeline, which decides none of it again.
struct InstallPlan {
    std::wstring downloadUrl; // with the route applied
    std::wstring mirrorUrls; // as the settings give them ("" none)
    std::wstring folder; // the install folder; made when the plan is applied
    std::wstring oldUninstaller; // the old version's uninstaller to run first; empty: none
    // It belongs to a machine-wide installation: unpinned, it runs only from a folder that
    // administrators alone may change.
    bool oldUninstallerMachineWide = false;
    bool removalOnly = false; // "-uninstall=true": run oldUninstaller only, no download, no package
    Config::InstallScope recordScope = Config::InstallScope::User; // where the record goes
    std::wstring productToStart; // what the session starts at the end (the pipeline ignores it)
    // The installed version a package must not be older than (its recorded "InstallVersion");
    // empty: any version goes (none recorded, or "-allowdowngrade=true").
    std::wstring versionFloor;
    // "-layout=": the package, once checked, is written into this folder with a copy of the
    // installer and a settings file that points at it, and nothing else is done (nothing is
    // removed or run); empty: an installation.
    std::wstring layoutFolder;
    // The signers the layout's settings file pins ("" none): the run's own pin, when given.
    std::wstring layoutSigners;
    PackageCommand package;
};

// Makes an install folder and the folders above it that are missing; for a machine-wide
// installation those it makes get Program Files' protection.
bool MakeInstallFolder(const std::wstring& folder, Config::InstallScope scope);

} // namespace Pipeline
