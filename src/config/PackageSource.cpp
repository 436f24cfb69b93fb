#include "config/PackageSource.h"

#include <windows.h>

#include "config/FolderOption.h"
#include "utils/Text.h"
#include "utils/UrlMd5.h"

namespace Config {
namespace {

bool IsLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// "%20" and the other escapes of a URL, as UTF-8; a malformed escape stays as it is.
std::wstring PercentDecoded(std::wstring_view text)
{
    const std::string bytes = Utils::WideToMultiByte(text, CP_UTF8);
    std::string decoded;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = bytes[i] == '%' && i + 2 < bytes.size() ? Utils::HexDigitValue(bytes[i + 1]) : -1;
        const int low = high >= 0 ? Utils::HexDigitValue(bytes[i + 2]) : -1;
        if (low >= 0) {
            decoded += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            decoded += bytes[i];
        }
    }
    return Utils::MultiByteToWide(decoded, CP_UTF8);
}

std::wstring Backslashed(std::wstring path)
{
    for (wchar_t& c : path) {
        c = c == L'/' ? L'\\' : c;
    }
    return path;
}

// What follows "file:": "///C:/x", "//localhost/C:/x", "//server/share/x", "////server/share/x".
std::optional<std::wstring> FileUrlPath(std::wstring_view rest)
{
    std::wstring path = PercentDecoded(rest);
    if (path.rfind(L"//", 0) == 0) {
        const std::size_t slash = path.find(L'/', 2);
        const std::wstring host = path.substr(2, slash == std::wstring::npos ? std::wstring::npos : slash - 2);
        path = slash == std::wstring::npos ? std::wstring() : path.substr(slash);
        if (!host.empty() && !Utils::EqualsNoCase(host, L"localhost")) {
            path = L"//" + host + path;
        } else if (path.size() >= 3 && path[0] == L'/' && IsLetter(path[1]) && (path[2] == L':' || path[2] == L'|')) {
            path = path.substr(1);
            path[1] = L':';
        }
    }
    path = Backslashed(std::move(path));
    return IsFullPath(path) ? std::optional<std::wstring>(path) : std::nullopt;
}

} // namespace

std::optional<std::wstring> LocalPackagePath(std::wstring_view address, const std::wstring& installerFolder)
{
    if (address.empty()) {
        return std::nullopt;
    }
    if (address.size() > 5 && Utils::EqualsNoCase(address.substr(0, 5), L"file:")) {
        return FileUrlPath(address.substr(5));
    }
    std::wstring path = Backslashed(std::wstring(address));
    if (IsFullPath(path)) {
        return path;
    }
    // "\x" and "C:x" depend on the current drive or folder; past a drive, a colon is an
    // address's ("http:", "host:8080"), never a file name's.
    if (path[0] == L'\\' || path.find(L':') != std::wstring::npos || installerFolder.empty()) {
        return std::nullopt;
    }
    return installerFolder + L"\\" + (path.rfind(L".\\", 0) == 0 ? path.substr(2) : path);
}

std::string PathMd5(std::wstring_view path)
{
    std::wstring slashed(path);
    for (wchar_t& c : slashed) {
        c = c == L'\\' ? L'/' : c;
    }
    return Utils::UrlMd5(Utils::WideToMultiByte(slashed, CP_UTF8));
}

std::wstring PackageFileName(std::wstring_view address)
{
    const std::size_t end = std::min(address.find_first_of(L"?#"), address.size());
    const std::wstring_view path = address.substr(0, end);
    const std::size_t slash = path.find_last_of(L"/\\");
    const std::wstring name = PercentDecoded(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
    if (name.size() <= 4 || name.size() > 128 || !Utils::EqualsNoCase(name.substr(name.size() - 4), L".exe")) {
        return {};
    }
    for (const wchar_t c : name) {
        if (c < 0x20 || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) {
            return {};
        }
    }
    return name;
}

} // namespace Config
