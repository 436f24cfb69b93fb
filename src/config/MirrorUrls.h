#pragma once

#include <optional>
#include <string>
#include <vector>

struct InstallerConfig;

namespace Config {

// "MirrorUrls": further addresses of the package, separated by ";" (blanks around each
// ignored, empty ones skipped), tried in order after DownloadUrl.
std::vector<std::wstring> SplitMirrorUrls(const std::wstring& text);

// "" when every mirror carries DownloadUrl's MD5 (the folder in front of the file name);
// otherwise the first mirror that does not. A mirror serving other bytes must never be
// taken for the package.
std::wstring MirrorWithOtherMd5(const std::wstring& downloadUrl, const std::wstring& mirrors);

// Once a layer of settings is in: a mismatch is kept among the refused values (quiet mode
// then does nothing and exits 2), a match clears it.
void CheckMirrorUrls(InstallerConfig& config);

// Every address of the package in the order tried: first, then the mirrors unless refused.
// mirrors: the "MirrorUrls" text.
std::vector<std::wstring> PackageUrls(const std::wstring& first, const std::wstring& mirrors);

} // namespace Config
