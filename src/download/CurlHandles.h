#pragma once

#include <curl/curl.h>

#include <string>

#include "utils/UniqueResource.h"

namespace Download {

struct CurlEasyTraits {
    using Type = CURL*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::curl_easy_cleanup(h); }
};

struct CurlListTraits {
    using Type = curl_slist*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::curl_slist_free_all(h); }
};

using UniqueCurl = Utils::UniqueResource<CurlEasyTraits>;
using UniqueCurlList = Utils::UniqueResource<CurlListTraits>;

// libcurl's process-wide set-up, done once before the first handle.
UniqueCurl NewCurlHandle();

// Appends a header line; the list stays valid when appending fails.
bool AppendHeader(UniqueCurlList& list, const char* line);

// Certificate checks against the system store (peer and host name). The package runs with
// the user's rights, so a download over HTTPS must not accept any certificate.
CURLcode RequireVerifiedTls(CURL* handle);

// URLs go to libcurl in UTF-8, except file URLs, which name a local path in the ANSI code
// page.
std::string NarrowUrl(const std::wstring& url);

// Text of a libcurl result for the log.
const char* CurlErrorText(int code);

} // namespace Download
