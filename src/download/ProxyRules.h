#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Download {

// Where a URL goes: lower-case scheme and host (IPv6 without brackets), and the port.
struct UrlTarget {
    std::wstring scheme;
    std::wstring host;
    unsigned port = 0;
};

// Nothing for text that is not "scheme://host[:port]..." with a known or given port.
std::optional<UrlTarget> ParseUrlTarget(std::wstring_view url);

// The proxies of a system proxy text that serve a scheme, in order, as "host:port"; an empty
// entry stands for a direct connection. Takes the manual forms ("host:port", a list, or
// per-scheme "http=a:1;https=b:2") and the answers of automatic configuration ("PROXY a:1;
// DIRECT"). Nothing left for the scheme means direct.
std::vector<std::wstring> ProxyEntriesFor(std::wstring_view proxyText, std::wstring_view scheme);

// Whether the bypass list (";", "," or blank separated; "*" wildcards, optional scheme and
// port, "<local>" for host names without a dot) sends the target direct.
bool BypassListMatches(std::wstring_view bypassList, const UrlTarget& target);

} // namespace Download
