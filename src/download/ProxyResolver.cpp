#include "download/ProxyResolver.h"

#include <chrono>
#include <tuple>

#include "download/AutoProxyLookup.h"
#include "download/WinHttpHandles.h"
#include "utils/Log.h"
#include "utils/Redact.h"

namespace Download {
namespace {

// How often a thread waiting for another's decision looks at its stop signal.
constexpr auto kStopCheck = std::chrono::milliseconds(100);

// For the log: a proxy's sign-in never shows.
std::wstring Joined(const std::vector<std::wstring>& proxies)
{
    std::wstring text;
    for (const auto& proxy : proxies) {
        text += text.empty() ? L"" : L", ";
        text += proxy.empty() ? L"direct" : Utils::RedactUrl(proxy);
    }
    return text;
}

std::wstring Taken(UniqueGlobalString& text)
{
    return text ? std::wstring(text.get()) : std::wstring();
}

void Append(std::wstring& why, const wchar_t* source)
{
    why += why.empty() ? L"" : L", ";
    why += source;
}

} // namespace

ProxyResolver::ProxyResolver(Config::ProxySetting setting, const StopSignal* stop)
    : m_setting(std::move(setting))
    , m_stop(stop)
{
}

std::optional<std::vector<std::wstring>> ProxyResolver::ProxiesFor(const std::wstring& url)
{
    const auto target = ParseUrlTarget(url);
    if (!target || (target->scheme != L"http" && target->scheme != L"https")) {
        return std::vector<std::wstring> { L"" };
    }
    const std::wstring key = target->scheme + L"://" + target->host + L":" + std::to_wstring(target->port);
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (auto known = m_hosts.find(key); known != m_hosts.end(); known = m_hosts.find(key)) {
            if (known->second) {
                return known->second;
            }
            // Another thread decides this host: its answer is ours too.
            if (Stopped()) {
                return std::nullopt;
            }
            m_decided.wait_for(lock, kStopCheck);
        }
        if (Stopped()) {
            return std::nullopt; // also when the thread that decided gave up for the stop
        }
        m_hosts.emplace(key, std::nullopt);
        SourcesLocked();
    }

    std::wstring why;
    Decision proxies = Decide(url, *target, why);
    if (proxies && proxies->empty()) {
        proxies->emplace_back();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (proxies) {
            LOG(L"proxy for %s: %s (%s)\r\n", Utils::RedactUrl(key).c_str(), Joined(*proxies).c_str(),
                Utils::RedactUrlsInText(why).c_str());
            m_hosts[key] = proxies;
        } else {
            LOG(L"proxy for %s: look-up abandoned, the download stops\r\n", Utils::RedactUrl(key).c_str());
            m_hosts.erase(key);
        }
    }
    m_decided.notify_all();
    return proxies;
}

const ProxyResolver::Sources& ProxyResolver::SourcesLocked()
{
    if (m_sources) {
        return *m_sources;
    }
    Sources sources;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user {};
    if (::WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        UniqueGlobalString autoConfigUrl(user.lpszAutoConfigUrl);
        UniqueGlobalString proxy(user.lpszProxy);
        UniqueGlobalString bypass(user.lpszProxyBypass);
        sources.autoDetect = user.fAutoDetect != FALSE;
        sources.autoConfigUrl = Taken(autoConfigUrl);
        sources.user = { Taken(proxy), Taken(bypass) };
    } else {
        LOG(L"user proxy configuration unreadable (error %lu)\r\n", ::GetLastError());
    }
    // What "netsh winhttp set proxy" writes: the machine's, for accounts without a
    // configuration of their own (the system account of deployment tools).
    WINHTTP_PROXY_INFO machine {};
    if (::WinHttpGetDefaultProxyConfiguration(&machine)) {
        UniqueGlobalString proxy(machine.lpszProxy);
        UniqueGlobalString bypass(machine.lpszProxyBypass);
        if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
            sources.machine = { Taken(proxy), Taken(bypass) };
        }
    } else {
        LOG(L"machine proxy configuration unreadable (error %lu)\r\n", ::GetLastError());
    }
    m_sources = std::move(sources);
    return *m_sources;
}

// Runs without the lock: the sources were read before and no longer change.
ProxyResolver::Decision ProxyResolver::Decide(const std::wstring& url, const UrlTarget& target, std::wstring& why)
{
    if (m_setting.valid && m_setting.mode == Config::ProxySetting::Mode::Direct) {
        why = L"setting";
        return std::vector<std::wstring> { L"" };
    }
    if (m_setting.valid && m_setting.mode == Config::ProxySetting::Mode::Named) {
        why = L"setting";
        return std::vector<std::wstring> { m_setting.HostPort() };
    }

    const Sources& sources = *m_sources;
    if (sources.autoDetect || !sources.autoConfigUrl.empty()) {
        const auto answer = LookUpAutoProxy(url, sources.autoConfigUrl, sources.autoDetect, m_stop);
        if (!answer) {
            return std::nullopt;
        }
        if (answer->answered) {
            why = L"automatic configuration";
            if (answer->direct || BypassListMatches(answer->bypass, target)) {
                return std::vector<std::wstring> { L"" };
            }
            return ProxyEntriesFor(answer->proxy, target.scheme);
        }
        LOG(L"automatic proxy configuration failed for %s (error %lu), falling back\r\n", target.host.c_str(),
            answer->error);
        why = L"automatic configuration failed (" + std::to_wstring(answer->error) + L")";
    }
    for (const auto& [manual, proxySource, bypassSource] :
        { std::tuple { &sources.user, L"user's manual proxy", L"user's bypass list" },
            std::tuple { &sources.machine, L"machine proxy", L"machine bypass list" } }) {
        if (manual->proxy.empty()) {
            continue;
        }
        if (BypassListMatches(manual->bypass, target)) {
            Append(why, bypassSource);
            return std::vector<std::wstring> { L"" };
        }
        Append(why, proxySource);
        return ProxyEntriesFor(manual->proxy, target.scheme);
    }
    Append(why, L"no proxy configured");
    return std::vector<std::wstring> { L"" };
}

} // namespace Download
