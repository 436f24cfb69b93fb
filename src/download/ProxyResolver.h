#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/ProxySetting.h"
#include "download/ProxyRules.h"
#include "download/WinHttpHandles.h"

namespace Download {

// Decides per URL how requests reach it: through the setting's proxy, direct, or as the
// user's system configuration says (a manual proxy with its bypass list, or automatic
// configuration asked per host). Thread-safe; the system configuration is read once.
class ProxyResolver {
public:
    explicit ProxyResolver(Config::ProxySetting setting = {});
    ProxyResolver(const ProxyResolver&) = delete;
    ProxyResolver& operator=(const ProxyResolver&) = delete;

    // Proxies to try in order, as "host:port"; an empty entry is a direct connection.
    // Never empty.
    std::vector<std::wstring> ProxiesFor(const std::wstring& url);

    const Config::ProxySetting& Setting() const noexcept { return m_setting; }

private:
    struct SystemConfig {
        bool autoDetect = false;
        std::wstring autoConfigUrl;
        std::wstring proxy;
        std::wstring bypass;
    };

    std::vector<std::wstring> Decide(const std::wstring& url, const UrlTarget& target, std::wstring& why);
    std::optional<std::vector<std::wstring>> Automatic(
        const std::wstring& url, const UrlTarget& target, std::wstring& why);

    const Config::ProxySetting m_setting;
    std::mutex m_mutex;
    std::optional<SystemConfig> m_system;
    UniqueWinHttp m_session;
    std::map<std::wstring, std::vector<std::wstring>> m_decided;
};

} // namespace Download
