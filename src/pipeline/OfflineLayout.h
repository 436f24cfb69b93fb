#pragma once

#include <windows.h>

#include <atomic>
#include <string>

// An offline layout ("-layout=DIR"): the checked package in DIR\<its MD5>\<its name>, a copy
// of the installer in DIR, and beside it a settings file whose DownloadUrl names the package
// relative to the installer's folder, so the layout installs wherever it is copied, and
// without a network.
namespace Pipeline {

// The name of a package whose address gave none a folder can hold.
inline constexpr wchar_t kLayoutPackageName[] = L"VellumoraSetup.exe";

// The settings file beside the layout's installer, in UTF-8: DownloadUrl the package's path
// relative to it; no network check (the machines a layout serves may have no network); and
// the signers the run that made it pinned, when they were given rather than built in (a copy
// of the installer carries its built-in pin itself).
std::string LayoutSettingsText(const std::wstring& packagePath, const std::wstring& signers);

// Makes the folder (and those on its way) and tries a file in it, before anything is
// downloaded; "" when the layout can be written there, else why not.
std::wstring PrepareLayoutFolder(const std::wstring& folder);

// The package as the pipeline checked and holds it.
struct LayoutPackage {
    HANDLE held = INVALID_HANDLE_VALUE; // open for reading; nobody else can write it
    std::string md5; // its checked MD5; "" when its address carried none (it is taken here)
    std::wstring name; // the file name its address ended in; "" for kLayoutPackageName
};

// Writes the layout into folder: the package, then the installer's copy, then the settings
// file, each replaced all or nothing in a folder reached without following a link. stop is
// read between pieces of a copy. "" when written (packagePath: where the package went), else
// why not; what was written before a failure stays, whole.
std::wstring WriteLayout(const std::wstring& folder, const LayoutPackage& package, const std::wstring& signers,
    const std::atomic<bool>& stop, std::wstring& packagePath);

} // namespace Pipeline
