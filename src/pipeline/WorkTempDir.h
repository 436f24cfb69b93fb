#pragma once

#include <string>

#include "utils/UniqueResource.h"

namespace Pipeline {

// The installer's working folder under the system temporary folder, ending in a
// backslash and created when missing; empty when it cannot be had.
std::wstring GetWorkTempDir();

// The work folder made anew for one removal of the old version, whose uninstaller is copied
// into it and run elevated. Its name is fixed and the temporary folder is the user's, so
// anything already there (a folder with planted files, a file, a link or junction) is removed
// without following links, never reused; the new folder lets only administrators and the
// system write, and stays open (lock) so it cannot be renamed or removed while it is in use.
struct FreshWorkFolder {
    std::wstring path; // ends in a backslash; empty when the folder could not be made
    Utils::UniqueFileHandle lock;
};
FreshWorkFolder MakeFreshWorkFolder();

// Where the old version's uninstaller is copied in a work folder.
std::wstring UninstallerCopyPath(const std::wstring& workFolder);

} // namespace Pipeline
