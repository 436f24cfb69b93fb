#include "PackageStore.h"

#include <windows.h>

#include <algorithm>

#include "utils/SystemProbes.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace PackageServer {
namespace {

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    Utils::UniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > 512LL * 1024 * 1024) {
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0) {
            return false;
        }
        done += got;
    }
    return true;
}

} // namespace

std::string Package::UrlPath() const
{
    return "/packages/" + md5 + "/" + PercentEncode(name);
}

bool PackageStore::Load(const std::wstring& path, std::wstring& error)
{
    auto package = std::make_shared<Package>();
    package->path = path;
    const std::size_t slash = path.find_last_of(L"\\/");
    package->name = Utils::WideToMultiByte(slash == std::wstring::npos ? path : path.substr(slash + 1), CP_UTF8);
    auto bytes = std::make_shared<std::string>();
    if (package->name.empty() || !ReadWholeFile(path, *bytes)) {
        error = L"cannot read the package " + path;
        return false;
    }
    package->bytes = std::move(bytes);
    package->md5 = Utils::FileMd5(Utils::WideToMultiByte(path, CP_ACP));
    if (package->md5.size() != 32) {
        error = L"cannot compute the MD5 of " + path;
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_current = std::move(package);
    return true;
}

bool PackageStore::Select(const std::wstring& name, std::wstring& error)
{
    if (name.empty() || name == L"." || name == L".." || name.find_first_of(L"\\/:") != std::wstring::npos) {
        error = L"a package is named without a path";
        return false;
    }
    const auto current = Current();
    if (!current) {
        error = L"no package folder";
        return false;
    }
    const std::size_t slash = current->path.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : current->path.substr(0, slash);
    return Load(folder + L"\\" + name, error);
}

std::shared_ptr<const Package> PackageStore::Current() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

std::string PercentEncode(const std::string& text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-'
            || byte == '_' || byte == '.' || byte == '~') {
            encoded.push_back(c);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[byte >> 4]);
            encoded.push_back(kHex[byte & 0x0F]);
        }
    }
    return encoded;
}

} // namespace PackageServer
