#pragma once

#include <windows.h>

#include <string>

// What an elevated run takes from the disk (a settings file beside it, an installed version's
// uninstaller) it trusts only when no one but an administrator could have put it there or
// changed it since: decided on the object's security descriptor.
namespace Utils {

enum class HeldEntry {
    File, // its content: writing or appending, or taking over its access list or owner
    Folder, // what it holds: adding a file or folder, deleting a child, or the access list or owner
};

// Why an entry with this descriptor may have been changed by someone who is not an
// administrator: its owner is not Administrators, SYSTEM or TrustedInstaller, or its access
// list lets anyone else change it. Empty when only administrators could have.
std::wstring ChangeableByOthersReason(PSECURITY_DESCRIPTOR descriptor, HeldEntry entry);

// The same for the open entry. Wine keeps no access lists and makes one up for every file
// (owned by the user): there nothing can be decided and the entry is taken as it is.
std::wstring OpenEntryChangeableByOthers(HANDLE entry, HeldEntry kind);

// The protection Program Files gives: administrators, the system and TrustedInstaller change,
// users and packaged apps read and run, inheritance from above cut (a folder made at a drive's
// root would otherwise inherit "Authenticated Users: Modify"). Owned by the caller: LocalFree.
PSECURITY_DESCRIPTOR MakeMachineFolderDescriptor();

// EnsureDirectoryPath, the folders it makes protected as above: a machine-wide installation's
// folder (and the uninstaller the package leaves in it) must not be open to users.
bool EnsureMachineFolderPath(const std::wstring& path);

} // namespace Utils
