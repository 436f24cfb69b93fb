#include "session/ProductToOpen.h"

#include <windows.h>
#include <shlwapi.h>

#include "install/PackageSignature.h"
#include "utils/Registry.h"

namespace Session {
namespace {

constexpr wchar_t kProductProgram[] = L"Quorvel.exe";

std::wstring WithoutTrailingSlashes(std::wstring path)
{
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) {
        path.pop_back();
    }
    return path;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE)
        == CSTR_EQUAL;
}

ProductToOpen Refused(ProductToOpen product, const wchar_t* why)
{
    product.ok = false;
    product.refusal = why;
    return product;
}

} // namespace

ProductToOpen CheckProductToOpen(const std::wstring& folder, const std::wstring& recordedFolder,
    const std::wstring& recordedUninstaller, const Config::SignerPin& pin)
{
    ProductToOpen product;
    product.folder = WithoutTrailingSlashes(folder);
    product.program = product.folder + L"\\" + kProductProgram;
    const std::wstring recorded = WithoutTrailingSlashes(recordedFolder);
    if (product.folder.empty() || ::PathIsRelativeW(product.folder.c_str())) {
        return Refused(std::move(product), L"the folder is not a full path");
    }
    if (recorded.empty() || !SamePath(product.folder, recorded)) {
        return Refused(std::move(product), L"the folder is not the one the installation record holds");
    }
    // The record's uninstaller lives in the recorded folder; one elsewhere means the record
    // was rewritten by someone else.
    if (!recordedUninstaller.empty()) {
        std::wstring uninstallerFolder = recordedUninstaller;
        const std::size_t slash = uninstallerFolder.find_last_of(L"\\/");
        uninstallerFolder = slash == std::wstring::npos ? std::wstring() : uninstallerFolder.substr(0, slash);
        if (!SamePath(WithoutTrailingSlashes(uninstallerFolder), recorded)) {
            return Refused(std::move(product), L"the installation record does not agree with itself");
        }
    }
    const DWORD attributes = ::GetFileAttributesW(product.program.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES
        || (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return Refused(std::move(product), L"the program is not there");
    }
    if (pin.Checks()) {
        Signature::Result check = Signature::CheckFile(product.program, pin);
        if (!check.Accepted()) {
            product.refusal = L"product " + check.Describe();
            return product;
        }
        product.lock = std::move(check.lock);
    }
    product.ok = true;
    return product;
}

ProductToOpen CheckProductToOpen(const std::wstring& folder, Utils::RecordRoot root, const Config::SignerPin& pin)
{
    const Utils::RecordedInstallation record = Utils::ReadRecordedInstallation(root);
    return CheckProductToOpen(folder, record.installPath, record.uninstallEntry, pin);
}

} // namespace Session
