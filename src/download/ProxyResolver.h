#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/ProxySetting.h"
#include "download/ProxyRules.h"
#include "download/WorkerThreads.h"

namespace Download {

// Decides per host how requests reach it, in this order: the setting's proxy or "direct";
// the user's configuration (automatic configuration asked per host, then a manual proxy
// with its bypass list); the machine's WinHTTP proxy with its bypass list; else direct.
// Every downloader asks the same way. Thread-safe; the configurations are read once, each
// host is decided once, and no lock is held while automatic configuration is asked.
class ProxyResolver {
public:
    // stop, when given, lets a decision that waits for automatic configuration give up.
    explicit ProxyResolver(Config::ProxySetting setting = {}, const StopSignal* stop = nullptr);
    ProxyResolver(const ProxyResolver&) = delete;
    ProxyResolver& operator=(const ProxyResolver&) = delete;

    // Proxies to try in order, as "host:port"; an empty entry is a direct connection. Never
    // an empty list; nothing when the stop came first.
    std::optional<std::vector<std::wstring>> ProxiesFor(const std::wstring& url);

    const Config::ProxySetting& Setting() const noexcept { return m_setting; }

private:
    struct Manual {
        std::wstring proxy;
        std::wstring bypass;
    };
    struct Sources {
        bool autoDetect = false;
        std::wstring autoConfigUrl;
        Manual user;
        Manual machine;
    };
    using Decision = std::optional<std::vector<std::wstring>>;

    const Sources& SourcesLocked();
    Decision Decide(const std::wstring& url, const UrlTarget& target, std::wstring& why);
    bool Stopped() const noexcept { return m_stop && m_stop->Requested(); }

    const Config::ProxySetting m_setting;
    const StopSignal* const m_stop;
    std::mutex m_mutex;
    std::condition_variable m_decided;
    std::optional<Sources> m_sources; // written once, under the lock
    // Per host: the decision, or nothing while one thread decides.
    std::map<std::wstring, Decision> m_hosts;
};

} // namespace Download
