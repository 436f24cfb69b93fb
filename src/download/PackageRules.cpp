#include "download/PackageRules.h"

#include <windows.h>

#include <algorithm>

#include "download/UrlMd5.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Text.h"

namespace Download {

std::wstring RoomProblem(const PackageRules& rules, std::int64_t length, std::int64_t toWrite, std::int64_t freeBytes)
{
    if (length > rules.maxBytes) {
        return L"the package's " + std::to_wstring(length) + L" bytes exceed the maximum package size of "
            + std::to_wstring(rules.maxBytes);
    }
    if (freeBytes >= 0 && freeBytes - toWrite < rules.reserveBytes) {
        return L"writing " + std::to_wstring(toWrite) + L" bytes would leave less than "
            + std::to_wstring(rules.reserveBytes) + L" bytes free on the drive (" + std::to_wstring(freeBytes)
            + L" free)";
    }
    return {};
}

std::wstring AddressProblem(const PackageRules& rules, std::string_view finalUrl)
{
    if (rules.requiredDigest.empty()) {
        return {};
    }
    const std::string carried = UrlMd5(finalUrl);
    if (carried == rules.requiredDigest) {
        return {};
    }
    const std::wstring mirrors = Utils::MultiByteToWide(rules.requiredDigest, CP_UTF8);
    if (carried.size() != kMd5Length) {
        return L"its final address carries no MD5, the mirrors " + mirrors;
    }
    return L"its final address carries the MD5 " + Utils::MultiByteToWide(carried, CP_UTF8) + L", the mirrors "
        + mirrors;
}

bool RefuseAddress(const PackageRules& rules, std::string_view finalUrl)
{
    const std::wstring problem = AddressProblem(rules, finalUrl);
    if (!problem.empty()) {
        LOG(L"package refused: %s (%s)\r\n", problem.c_str(),
            Utils::MultiByteToWide(Utils::RedactUrl(finalUrl), CP_UTF8).c_str());
    }
    return !problem.empty();
}

std::int64_t FileBound(const PackageRules& rules, std::int64_t have, std::int64_t freeBytes)
{
    if (freeBytes < 0) {
        return rules.maxBytes;
    }
    return std::max<std::int64_t>(0, std::min(rules.maxBytes, have + freeBytes - rules.reserveBytes));
}

std::int64_t FreeBytesFor(const std::wstring& filePath)
{
    const std::size_t slash = filePath.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : filePath.substr(0, slash + 1);
    ULARGE_INTEGER available {};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        return -1;
    }
    return static_cast<std::int64_t>(std::min<ULONGLONG>(available.QuadPart, INT64_MAX));
}

} // namespace Download
