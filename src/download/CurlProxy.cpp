#include "download/CurlProxy.h"

#include "download/RedirectPolicy.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Text.h"

namespace Download {
namespace {

bool SspiAvailable()
{
    const curl_version_info_data* info = ::curl_version_info(CURLVERSION_NOW);
    return info && (info->features & CURL_VERSION_SSPI) != 0;
}

bool ProxyUnreachable(CURLcode result)
{
    return result == CURLE_COULDNT_RESOLVE_PROXY || result == CURLE_COULDNT_CONNECT;
}

} // namespace

CURLcode ApplyProxy(CURL* handle, const std::wstring& proxy, const Config::ProxySetting& setting)
{
    if (proxy.empty()) {
        return ::curl_easy_setopt(handle, CURLOPT_PROXY, "");
    }
    const std::string address = "http://" + Utils::WideToMultiByte(proxy, CP_UTF8);
    CURLcode result = ::curl_easy_setopt(handle, CURLOPT_PROXY, address.c_str());
    result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYTYPE, CURLPROXY_HTTP);
    const bool ownProxy
        = setting.valid && setting.mode == Config::ProxySetting::Mode::Named && setting.HostPort() == proxy;
    if (ownProxy && setting.HasCredentials()) {
        const std::string user = Utils::WideToMultiByte(setting.user, CP_UTF8);
        const std::string password = Utils::WideToMultiByte(setting.password, CP_UTF8);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, user.c_str());
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, password.c_str());
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
    } else if (!ownProxy && SspiAvailable()) {
        // Empty name and password: SSPI answers a challenge as the logged-on user. Two schemes,
        // so libcurl waits for the proxy to ask instead of sending either up front. Only for
        // the system's proxies: a named one may come from a file dropped beside the program.
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYUSERNAME, "");
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_PROXYPASSWORD, "");
        result = result != CURLE_OK ? result
                                    : ::curl_easy_setopt(handle, CURLOPT_PROXYAUTH, CURLAUTH_NTLM | CURLAUTH_NEGOTIATE);
    }
    return result;
}

CURLcode PerformThroughProxy(CURL* handle, const std::string& url, ProxyResolver& resolver, bool follow)
{
    CURLcode result = ::curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    std::string current = url;
    for (int hop = 0; result == CURLE_OK; ++hop) {
        result = ::curl_easy_setopt(handle, CURLOPT_URL, current.c_str());
        if (result != CURLE_OK) {
            break;
        }
        const auto proxies = resolver.ProxiesFor(Utils::Utf8ToWide(current));
        if (!proxies) {
            return CURLE_ABORTED_BY_CALLBACK; // stopped while the proxy was looked up
        }
        for (std::size_t i = 0; i < proxies->size(); ++i) {
            const std::wstring& proxy = (*proxies)[i];
            result = ApplyProxy(handle, proxy, resolver.Setting());
            result = result != CURLE_OK ? result : ::curl_easy_perform(handle);
            if (!(ProxyUnreachable(result) && !proxy.empty() && i + 1 < proxies->size())) {
                break;
            }
            LOG(L"proxy %s unreachable (%d), trying the next\r\n", Utils::RedactUrl(proxy).c_str(),
                static_cast<int>(result));
        }
        if (!follow || result != CURLE_OK) {
            break;
        }
        long status = 0;
        char* location = nullptr;
        ::curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (status < 300 || status > 399 || ::curl_easy_getinfo(handle, CURLINFO_REDIRECT_URL, &location) != CURLE_OK
            || !location || !*location) {
            break;
        }
        switch (CheckRedirect(Utils::Utf8ToWide(current), Utils::Utf8ToWide(location), hop)) {
        case RedirectVerdict::Follow:
            current = location;
            break;
        case RedirectVerdict::TooMany:
            result = CURLE_TOO_MANY_REDIRECTS;
            break;
        default:
            result = CURLE_UNSUPPORTED_PROTOCOL;
            break;
        }
    }
    return result;
}

bool InRedirectResponse(CURL* handle)
{
    long status = 0;
    return ::curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status >= 300 && status <= 399;
}

} // namespace Download
