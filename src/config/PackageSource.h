#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Config {

// Where a package address leads when it names a file rather than a server: a "file:" URL
// (file:///C:/…, file://server/share/…), a drive path (C:\…), a share (\\server\share\…), or
// a path relative to the installer's folder (as an offline layout writes it). The full path;
// nothing for a server's address (http:, https:, any other scheme), an empty one, or a path
// that depends on the current drive or folder ("\x", "C:x").
std::optional<std::wstring> LocalPackagePath(std::wstring_view address, const std::wstring& installerFolder);

// The digest folder rule of a file path, as of an address: the name of the folder the file
// lies in. Accepted as an MD5 only at exactly 32 characters.
std::string PathMd5(std::wstring_view path);

// The file name at the end of an address or path, decoded, when it is a plain program name
// ("VellumoraSetup-1.0.exe"); "" when there is none, or one a folder cannot hold safely.
std::wstring PackageFileName(std::wstring_view address);

} // namespace Config
