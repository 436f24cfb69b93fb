#include "download/ProxyResolver.h"

#include "utils/Log.h"

namespace Download {
namespace {

// Fetching and running a configuration script must not hold a download for long.
constexpr int kScriptTimeoutMs = 10000;

std::wstring Joined(const std::vector<std::wstring>& proxies)
{
    std::wstring text;
    for (const auto& proxy : proxies) {
        text += text.empty() ? L"" : L", ";
        text += proxy.empty() ? L"direct" : proxy;
    }
    return text;
}

} // namespace

ProxyResolver::ProxyResolver(Config::ProxySetting setting)
    : m_setting(std::move(setting))
{
}

std::vector<std::wstring> ProxyResolver::ProxiesFor(const std::wstring& url)
{
    const auto target = ParseUrlTarget(url);
    if (!target || (target->scheme != L"http" && target->scheme != L"https")) {
        return { L"" };
    }
    const std::wstring key = target->scheme + L"://" + target->host + L":" + std::to_wstring(target->port);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto known = m_decided.find(key);
    if (known != m_decided.end()) {
        return known->second;
    }
    std::wstring why;
    std::vector<std::wstring> proxies = Decide(url, *target, why);
    if (proxies.empty()) {
        proxies.emplace_back();
    }
    LOG(L"proxy for %s: %s (%s)\r\n", key.c_str(), Joined(proxies).c_str(), why.c_str());
    m_decided.emplace(key, proxies);
    return proxies;
}

std::vector<std::wstring> ProxyResolver::Decide(const std::wstring& url, const UrlTarget& target, std::wstring& why)
{
    if (m_setting.valid && m_setting.mode == Config::ProxySetting::Mode::Direct) {
        why = L"setting";
        return { L"" };
    }
    if (m_setting.valid && m_setting.mode == Config::ProxySetting::Mode::Named) {
        why = L"setting";
        return { m_setting.HostPort() };
    }

    if (!m_system) {
        m_system.emplace();
        WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config {};
        if (::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
            UniqueGlobalString autoConfigUrl(config.lpszAutoConfigUrl);
            UniqueGlobalString proxy(config.lpszProxy);
            UniqueGlobalString bypass(config.lpszProxyBypass);
            m_system->autoDetect = config.fAutoDetect != FALSE;
            m_system->autoConfigUrl = autoConfigUrl ? autoConfigUrl.get() : L"";
            m_system->proxy = proxy ? proxy.get() : L"";
            m_system->bypass = bypass ? bypass.get() : L"";
        } else {
            LOG(L"system proxy configuration unreadable (error %lu): direct\r\n", ::GetLastError());
        }
    }

    if (m_system->autoDetect || !m_system->autoConfigUrl.empty()) {
        if (auto answer = Automatic(url, target, why)) {
            return *answer;
        }
    }
    if (m_system->proxy.empty()) {
        why += why.empty() ? L"no system proxy" : L", no manual proxy: direct";
        return { L"" };
    }
    if (BypassListMatches(m_system->bypass, target)) {
        why += why.empty() ? L"" : L", ";
        why += L"system bypass list";
        return { L"" };
    }
    why += why.empty() ? L"" : L", ";
    why += L"system manual proxy";
    return ProxyEntriesFor(m_system->proxy, target.scheme);
}

std::optional<std::vector<std::wstring>> ProxyResolver::Automatic(
    const std::wstring& url, const UrlTarget& target, std::wstring& why)
{
    if (!m_session) {
        m_session.reset(::WinHttpOpen(
            L"VellumoraInstaller", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
        if (m_session) {
            ::WinHttpSetTimeouts(
                m_session.get(), kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs, kScriptTimeoutMs);
        }
    }
    WINHTTP_AUTOPROXY_OPTIONS options {};
    if (!m_system->autoConfigUrl.empty()) {
        options.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = m_system->autoConfigUrl.c_str();
    }
    if (m_system->autoDetect) {
        options.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info {};
    if (!m_session || !::WinHttpGetProxyForUrl(m_session.get(), url.c_str(), &options, &info)) {
        const DWORD error = m_session ? ::GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        LOG(L"automatic proxy configuration failed for %s (error %lu), falling back\r\n", target.host.c_str(), error);
        why = L"automatic configuration failed (" + std::to_wstring(error) + L")";
        return std::nullopt;
    }
    UniqueGlobalString proxy(info.lpszProxy);
    UniqueGlobalString bypass(info.lpszProxyBypass);
    why = L"automatic configuration";
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY || !proxy) {
        return std::vector<std::wstring> { L"" };
    }
    if (bypass && BypassListMatches(bypass.get(), target)) {
        return std::vector<std::wstring> { L"" };
    }
    return ProxyEntriesFor(proxy.get(), target.scheme);
}

} // namespace Download
