#pragma once

#include <optional>
#include <string>
#include <vector>

struct InstallerConfig;

namespace Config {

// "MirrorUrls": further addresses of the package, separated by ";" (blanks around each
// ignored, empty ones skipped), tried in order after DownloadUrl.
std::vector<std::wstring> SplitMirrorUrls(const std::wstring& text);

// "" when the mirrors may stand beside DownloadUrl; otherwise the first mirror that may not.
// A mirror serving other bytes must never be taken for the package, so each carries
// DownloadUrl's MD5 (the folder in front of the file name); beside a DownloadUrl that carries
// none (the maker's redirect address), all carry one and the same MD5 (Config::MirrorDigest).
std::wstring MirrorWithOtherMd5(const std::wstring& downloadUrl, const std::wstring& mirrors);

// The MD5 (32 lower-case hex digits) every address's final address must carry: the mirrors'
// one MD5 when they stand beside a DownloadUrl without one of its own, so the address that
// DownloadUrl redirects to serves the mirrors' bytes; "" otherwise (no mirrors, refused ones,
// or a DownloadUrl whose MD5 the mirrors carry).
std::string MirrorDigest(const std::wstring& downloadUrl, const std::wstring& mirrors);

// Once a layer of settings is in: a mismatch is kept among the refused values (quiet mode
// then does nothing and exits 2), a match clears it.
void CheckMirrorUrls(InstallerConfig& config);

// Every address of the package in the order tried: first, then the mirrors unless refused.
// mirrors: the "MirrorUrls" text.
std::vector<std::wstring> PackageUrls(const std::wstring& first, const std::wstring& mirrors);

} // namespace Config
