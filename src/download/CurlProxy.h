#pragma once

#include <curl/curl.h>

#include <string>

#include "config/ProxySetting.h"
#include "download/ProxyResolver.h"

namespace Download {

// Proxy options for one request: through proxy ("host:port"), or direct when it is empty —
// said explicitly, so no environment variable picks a proxy behind the user's back.
// Credentials of the setting go with its own proxy (any scheme the proxy asks for, Basic
// included), and nothing else does; the system's proxies get the logged-on user's
// NTLM/Negotiate where SSPI offers them.
CURLcode ApplyProxy(CURL* handle, const std::wstring& proxy, const Config::ProxySetting& setting);

// Performs the request on handle for url, through each proxy the resolver names until one
// can be reached. With follow, redirects are followed here rather than by libcurl, under the
// shared redirect policy, so a target on another host goes through that host's proxy; the
// handle's effective URL is then the last one asked for. libcurl's own redirect following is
// switched off. CURLE_ABORTED_BY_CALLBACK when a stop ended a proxy look-up.
CURLcode PerformThroughProxy(CURL* handle, const std::string& url, ProxyResolver& resolver, bool follow);

// True while the handle's current response is a redirect whose body is not the file's.
bool InRedirectResponse(CURL* handle);

} // namespace Download
