#pragma once

#include <windows.h>

#include <string>

#include "utils/UniqueResource.h"

namespace Pipeline {

// The descriptor a work folder is created with, as SDDL: protected (nothing inherited from
// the temporary folder), full control for the system account and Administrators, read and
// run for users. Elevated, Administrators own it; unelevated there are no administrator
// rights to guard and the user (userSid) must write into it, so the user gets full control.
std::wstring WorkFolderSddl(bool elevated, const std::wstring& userSid);

// Where work folders go: for the system account its private temporary folder
// (GetTempPath2W) where Windows has one; elevated, the Windows temporary folder (never the
// user's, whose place the user sets); unelevated, the user's. Ends in a backslash; empty when
// none can be had.
std::wstring WorkFolderParent();

// One run's work folder: a new folder with a random 128-bit name, created and opened in one
// step with the protected descriptor, and held open without delete sharing for the run, so
// nobody can rename, replace or remove it. Everything in it is removed, by handles opened
// without following links, when the run ends (Remove, or destruction); then the folder, once
// it is checked to be the same one.
class WorkFolder {
public:
    WorkFolder() = default;
    ~WorkFolder() { Remove(); }
    WorkFolder(WorkFolder&& other) noexcept = default;
    WorkFolder& operator=(WorkFolder&& other) noexcept;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Never reuses anything: a name that exists already is another name's turn, and a
    // folder that cannot be made this way is no folder (logged), never a weaker one.
    static WorkFolder Create(const std::wstring& parent);

    bool Valid() const noexcept { return m_folder.valid(); }
    const std::wstring& Path() const noexcept { return m_path; } // ends in a backslash
    HANDLE Handle() const noexcept { return m_folder.get(); }

    // True when the open file lies directly in this folder, as the system resolves it now:
    // a path that went through a link or a renamed folder is not in it.
    bool Holds(HANDLE file) const;

    // Deletes everything inside (links as themselves, never what they point at), then the
    // folder; false when something could not be deleted (a file still in use).
    bool Remove();

    // Deletes one entry directly inside, by a handle opened without following a link; true
    // when it is gone (or was never there).
    bool RemoveEntry(const std::wstring& name);

    // Keeps the folder and all it holds past this run, protected as it is, for a restart that
    // a package asked for: every entry (a subfolder's own entries first, a link as itself)
    // and then the folder are marked for deletion at the next restart, and the folder is let
    // go without being removed. False when something could not be marked (the kept folder is
    // then left to the system's clean-up of its temporary folder).
    bool KeepUntilRestart();

private:
    Utils::UniqueFileHandle m_folder;
    std::wstring m_path;
    // Which folder it is, for its removal.
    DWORD m_volume = 0;
    unsigned long long m_index = 0;
};

// Where the old version's uninstaller is copied in a work folder: its name there, and its path.
const wchar_t* UninstallerCopyName();
std::wstring UninstallerCopyPath(const WorkFolder& folder);

} // namespace Pipeline
