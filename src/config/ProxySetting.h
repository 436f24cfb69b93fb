#pragma once

#include <string>
#include <string_view>

namespace Config {

// The "Proxy" setting ("-proxy=" on the command line), parsed.
struct ProxySetting {
    enum class Mode {
        System, // empty: the user's own proxy configuration
        Direct, // "direct": no proxy at all
        Named, // "[user:password@]host:port": that proxy for every request
    };
    Mode mode = Mode::System;
    // False for a malformed value; the mode is then System and problem says why.
    bool valid = true;
    std::wstring problem;
    std::wstring host;
    unsigned port = 0;
    std::wstring user;
    std::wstring password;

    bool HasCredentials() const noexcept { return !user.empty(); }
    // "host:port", the way proxy APIs take it (IPv6 hosts keep their brackets).
    std::wstring HostPort() const;
    // For the log: never holds the password.
    std::wstring Describe() const;
};

// "" → System; "direct" (any case) → Direct; "[http://][user[:password]@]host:port[/]" →
// Named. Anything else is refused (valid false) with a reason that holds no password.
ProxySetting ParseProxySetting(std::wstring_view text);

} // namespace Config
