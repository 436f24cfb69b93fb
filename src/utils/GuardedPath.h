#pragma once

#include <windows.h>

#include <string>

#include "utils/UniqueResource.h"

// The one way the elevated installer writes a file its settings or its environment name by
// path (the log, the crash dump, the result file, the analytics file). A standard user may
// be able to replace a folder on that path between a check by name and a write by name: the
// folders are walked by handle instead, and the file is made in the last one held.
namespace Utils {

// One folder, reached from its volume's root ("C:\" or "\\server\share\") one name at a
// time, each opened relative to the one before and as itself, never through a link.
class GuardedFolder {
public:
    // ERROR_SUCCESS and the folder in out; else ERROR_PATH_NOT_FOUND (a name missing or no
    // folder), ERROR_CANT_ACCESS_FILE (a link on the way), ERROR_INVALID_NAME (not a full
    // path of a drive or a share, or a "." or ".." in it) or the system's error.
    static DWORD Open(const std::wstring& folder, GuardedFolder& out);

    bool IsOpen() const noexcept { return m_handle.valid(); }
    HANDLE Handle() const noexcept { return m_handle.get(); }
    // The path it was reached by ("C:\a\b").
    const std::wstring& Path() const noexcept { return m_path; }

    // The folder name (one entry) in this folder, made when missing, as itself: a link there
    // is refused (ERROR_CANT_ACCESS_FILE), and so is a file of that name (ERROR_DIRECTORY).
    DWORD OpenFolder(const std::wstring& name, GuardedFolder& out) const;

    // Opens name (one entry, NUL-ended) in this folder, never what a link there points at:
    // disposition FILE_CREATE (a new file only) or FILE_OPEN_IF (append to it or make it).
    // A read-only file (ERROR_ACCESS_DENIED), a link or a file with a second name
    // (ERROR_CANT_ACCESS_FILE) is refused and left as it was. Uses no heap, so a crash
    // handler may call it.
    DWORD OpenFile(
        const wchar_t* name, ACCESS_MASK access, ULONG share, ULONG disposition, UniqueFileHandle& file) const;

    // Opens the existing file name in this folder to be read, never what a link there points
    // at (ERROR_CANT_ACCESS_FILE) and never a folder (ERROR_DIRECTORY).
    DWORD OpenForReading(const wchar_t* name, ACCESS_MASK access, ULONG share, UniqueFileHandle& file) const;

    // Whether name in this folder may be replaced: absent, or a plain file (not a folder,
    // ERROR_DIRECTORY; not read-only, linked or hard-linked as OpenFile says).
    DWORD CheckReplaceable(const wchar_t* name) const;

    // Gives the open file (opened with DELETE access) the name in this folder, over a file
    // of that name when replace.
    DWORD MoveInto(HANDLE file, const std::wstring& name, bool replace) const;

private:
    // A link opened as one, or, as Wine tells it only by name, at path.
    static bool IsLink(HANDLE folder, const std::wstring& path);

    UniqueFileHandle m_handle;
    std::wstring m_path;
};

// "C:\a\b.log" gives "C:\a" and "b.log"; "C:\b.log" gives "C:\" and "b.log". False when path
// names no file in a folder.
bool SplitFilePath(const std::wstring& path, std::wstring& folder, std::wstring& name);

// Opens path's file as GuardedFolder::OpenFile does, its folder walked by GuardedFolder::Open.
DWORD OpenGuardedFile(
    const std::wstring& path, ACCESS_MASK access, ULONG share, ULONG disposition, UniqueFileHandle& file);

} // namespace Utils
