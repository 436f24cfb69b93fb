#include "pipeline/OfflineLayout.h"

#include "config/InstallerConfig.h"
#include "config/LogFilePath.h"
#include "download/UrlMd5.h"
#include "utils/FileCopy.h"
#include "utils/FileSystem.h"
#include "utils/GuardedPath.h"
#include "utils/Md5.h"
#include "utils/OutputFile.h"
#include "utils/Text.h"

namespace Pipeline {
namespace {

std::wstring Refusal(const wchar_t* what, DWORD error)
{
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) {
        return std::wstring(what) + L": it does not exist and could not be made";
    }
    return std::wstring(what) + L": " + Config::ReplaceErrorText(error);
}

std::wstring FileName(const std::wstring& path)
{
    return path.substr(path.find_last_of(L"\\/") + 1);
}

// name in folder, all or nothing, copied from the open file source; a copy whose MD5 is not
// md5 (when one is given) never takes the name.
DWORD CopyInto(const Utils::GuardedFolder& folder, const std::wstring& name, HANDLE source, const std::string& md5,
    const std::atomic<bool>& stop)
{
    return Utils::WriteIntoFolder(folder, name, [&](HANDLE file) {
        Utils::Md5Stream copied;
        const DWORD error
            = Utils::CopyFileContent(source, file, &copied, [&stop](std::int64_t) { return !stop.load(); });
        if (error != ERROR_SUCCESS) {
            return error;
        }
        return md5.empty() || copied.Finish() == md5 ? static_cast<DWORD>(ERROR_SUCCESS) : ERROR_FILE_INVALID;
    });
}

} // namespace

std::string LayoutSettingsText(const std::wstring& packagePath, const std::wstring& signers)
{
    std::wstring text = L"; An offline layout: the installer beside this file installs the package in the folder\r\n"
                        L"; named by its MD5, wherever the layout is copied.\r\n"
                        L"[Install]\r\n"
                        L"DownloadUrl="
        + packagePath + L"\r\nIsCheckNet=false\r\n";
    if (!signers.empty()) {
        text += L"PackageSigner=" + signers + L"\r\n";
    }
    return "\xEF\xBB\xBF" + Utils::WideToMultiByte(text, CP_UTF8);
}

std::wstring PrepareLayoutFolder(const std::wstring& folder)
{
    // Made by name; the walk below refuses a link on the way, planted or not.
    Utils::EnsureDirectoryPath(folder);
    Utils::GuardedFolder held;
    if (const DWORD error = Utils::GuardedFolder::Open(folder, held); error != ERROR_SUCCESS) {
        return Refusal(L"the folder", error);
    }
    // A file of this run's own, made and dropped: the folder takes what the layout writes.
    const std::wstring probe = L"layout-check." + std::to_wstring(::GetCurrentProcessId()) + L".tmp";
    Utils::UniqueFileHandle file;
    if (const DWORD error = held.OpenFile(probe.c_str(), GENERIC_WRITE | DELETE, 0, FILE_CREATE, file);
        error != ERROR_SUCCESS) {
        return Refusal(L"the folder", error);
    }
    FILE_DISPOSITION_INFO disposition { TRUE };
    ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
    return {};
}

std::wstring WriteLayout(const std::wstring& folder, const LayoutPackage& package, const std::wstring& signers,
    const std::atomic<bool>& stop, std::wstring& packagePath)
{
    Utils::GuardedFolder root;
    if (const DWORD error = Utils::GuardedFolder::Open(folder, root); error != ERROR_SUCCESS) {
        return Refusal(L"the folder", error);
    }
    // Without an MD5 in its address a pinned signer or AllowUnverifiedPackage let it through:
    // the folder is named by what it is, so the install from the layout checks it all the same.
    const std::string md5
        = package.md5.size() == Download::kMd5Length ? package.md5 : Utils::FileContentMd5(package.held);
    if (md5.size() != Download::kMd5Length) {
        return L"the package could not be read";
    }
    const std::wstring digestName = Utils::MultiByteToWide(md5, CP_ACP);
    Utils::GuardedFolder digestFolder;
    if (const DWORD error = root.OpenFolder(digestName, digestFolder); error != ERROR_SUCCESS) {
        return Refusal(L"the package's folder", error);
    }
    const std::wstring name = package.name.empty() ? kLayoutPackageName : package.name;
    if (const DWORD error = CopyInto(digestFolder, name, package.held, md5, stop); error != ERROR_SUCCESS) {
        return Refusal(L"the package", error);
    }
    // The running program, shared for reading as the loader shares it.
    const std::wstring installer = Utils::ModulePath();
    Utils::UniqueFileHandle self(::CreateFileW(installer.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!self) {
        return Refusal(L"the installer could not be read", ::GetLastError());
    }
    if (const DWORD error = CopyInto(root, FileName(installer), self.get(), {}, stop); error != ERROR_SUCCESS) {
        return Refusal(L"the installer's copy", error);
    }
    const std::wstring relative = digestName + L"\\" + name;
    const std::string settings = LayoutSettingsText(relative, signers);
    const DWORD written = Utils::WriteIntoFolder(root, Config::kSettingsFileName, settings);
    if (written != ERROR_SUCCESS) {
        return Refusal(L"the settings file", written);
    }
    packagePath = root.Path() + L"\\" + relative;
    return {};
}

} // namespace Pipeline
