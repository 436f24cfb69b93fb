#include "config/ProxySetting.h"

#include "utils/Text.h"

namespace Config {
namespace {

bool HostCharacter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') || c == L'.' || c == L'-'
        || c == L'_';
}

ProxySetting Refused(std::wstring why)
{
    ProxySetting refused;
    refused.valid = false;
    refused.problem = std::move(why);
    return refused;
}

} // namespace

std::wstring ProxySetting::HostPort() const
{
    return host + L":" + std::to_wstring(port);
}

std::wstring ProxySetting::Describe() const
{
    if (!valid) {
        return L"refused (" + problem + L"), using the system configuration";
    }
    switch (mode) {
    case Mode::Direct:
        return L"direct";
    case Mode::Named:
        return HasCredentials() ? HostPort() + L" as user " + user + L" (password hidden)" : HostPort();
    default:
        return L"system configuration";
    }
}

// Reasons never quote the value: a mistyped one may still hold a password.
ProxySetting ParseProxySetting(std::wstring_view raw)
{
    const std::wstring text = Utils::Trim(raw);
    if (text.empty()) {
        return {};
    }
    if (Utils::EqualsNoCase(text, L"direct")) {
        ProxySetting direct;
        direct.mode = ProxySetting::Mode::Direct;
        return direct;
    }

    std::wstring_view rest = text;
    const auto scheme = rest.find(L"://");
    if (scheme != std::wstring_view::npos) {
        if (!Utils::EqualsNoCase(rest.substr(0, scheme), L"http")) {
            return Refused(L"only http proxies are supported");
        }
        rest.remove_prefix(scheme + 3);
    }
    if (!rest.empty() && rest.back() == L'/') {
        rest.remove_suffix(1);
    }

    ProxySetting named;
    named.mode = ProxySetting::Mode::Named;
    // The last "@" ends the credentials, so a password may hold one.
    const auto at = rest.rfind(L'@');
    if (at != std::wstring_view::npos) {
        const std::wstring_view credentials = rest.substr(0, at);
        const auto colon = credentials.find(L':');
        named.user = std::wstring(credentials.substr(0, colon));
        if (colon != std::wstring_view::npos) {
            named.password = std::wstring(credentials.substr(colon + 1));
        }
        if (named.user.empty()) {
            return Refused(L"credentials without a user name");
        }
        rest.remove_prefix(at + 1);
    }

    const auto colon = rest.rfind(L':');
    if (colon == std::wstring_view::npos || colon == 0) {
        return Refused(L"expected host:port");
    }
    const std::wstring_view host = rest.substr(0, colon);
    const std::wstring_view port = rest.substr(colon + 1);
    const bool bracketed = host.size() > 2 && host.front() == L'[' && host.back() == L']';
    for (std::size_t i = bracketed ? 1 : 0; i < host.size() - (bracketed ? 1 : 0); ++i) {
        const wchar_t c = host[i];
        if (!HostCharacter(c) && !(bracketed && c == L':')) {
            return Refused(L"the host name holds characters a host name cannot have");
        }
    }
    unsigned number = 0;
    for (const wchar_t c : port) {
        if (c < L'0' || c > L'9' || number > 65535) {
            number = 0;
            break;
        }
        number = number * 10 + static_cast<unsigned>(c - L'0');
    }
    if (port.empty() || number == 0 || number > 65535) {
        return Refused(L"the port is not a number from 1 to 65535");
    }
    named.host = std::wstring(host);
    named.port = number;
    return named;
}

} // namespace Config
