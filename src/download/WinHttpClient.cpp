#include "download/WinHttpClient.h"

#include <cstdio>
#include <cwctype>
#include <regex>

#include "utils/Log.h"
#include "utils/Text.h"
#include "utils/UniqueFile.h"

using Download::UniqueGlobalString;
using Download::UniqueWinHttp;

namespace {

constexpr int kAttempts = 3;
constexpr int kMaxRedirects = 10;
constexpr DWORD kBlock = 64 * 1024;

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE)
        == CSTR_EQUAL;
}

std::wstring Upper(std::wstring text)
{
    for (auto& c : text) {
        c = static_cast<wchar_t>(std::towupper(c));
    }
    return text;
}

std::wstring QueryText(HINTERNET request, DWORD info)
{
    DWORD bytes = 0;
    ::WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &bytes, WINHTTP_NO_HEADER_INDEX);
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || bytes == 0) {
        return {};
    }
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (!::WinHttpQueryHeaders(
            request, info, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &bytes, WINHTTP_NO_HEADER_INDEX)) {
        return {};
    }
    text.resize(bytes / sizeof(wchar_t));
    return text;
}

} // namespace

std::vector<std::wstring> FindAllMatches(const std::wstring& text, const std::wstring& pattern)
{
    std::vector<std::wstring> found;
    const std::wregex expression(pattern, std::regex_constants::ECMAScript | std::regex_constants::icase);
    for (std::wsregex_iterator it(text.begin(), text.end(), expression), end; it != end; ++it) {
        if (it->size() < 2) {
            continue;
        }
        std::wstring capture = (*it)[1].str();
        bool seen = false;
        for (const auto& earlier : found) {
            seen = seen || EqualsIgnoringCase(earlier, capture);
        }
        if (!seen) {
            found.push_back(std::move(capture));
        }
    }
    return found;
}

WinHttpClient::WinHttpClient(std::wstring url)
    : m_requestUrl(std::move(url))
{
}

WinHttpClient::~WinHttpClient() = default;

void WinHttpClient::Cancel()
{
    if (HINTERNET request = m_activeRequest.exchange(nullptr)) {
        ::WinHttpCloseHandle(request);
    }
}

void WinHttpClient::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs)
{
    m_resolveTimeout = resolveMs;
    m_connectTimeout = connectMs;
    m_sendTimeout = sendMs;
    m_receiveTimeout = receiveMs;
}

void WinHttpClient::SetProxy(std::wstring proxy, std::wstring userName, std::wstring password)
{
    m_proxy = std::move(proxy);
    m_proxyUserName = std::move(userName);
    m_proxyPassword = std::move(password);
}

bool WinHttpClient::EnsureSession()
{
    if (m_session) {
        return true;
    }
    // A session-wide named proxy is the one form every WinHTTP honours (Wine ignores a
    // per-request one).
    const std::wstring named = m_proxySetting.HostPort();
    if (SystemProxy()) {
        m_session.reset(::WinHttpOpen(
            m_userAgent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    } else if (m_proxySetting.mode == Config::ProxySetting::Mode::Named) {
        m_session.reset(::WinHttpOpen(
            m_userAgent.c_str(), WINHTTP_ACCESS_TYPE_NAMED_PROXY, named.c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
    } else {
        m_session.reset(::WinHttpOpen(
            m_userAgent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!m_session) {
        m_lastError = ::GetLastError();
        return false;
    }
    return true;
}

bool WinHttpClient::ApplyNamedProxy(HINTERNET request)
{
    WINHTTP_PROXY_INFO proxy {};
    proxy.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    proxy.lpszProxy = m_proxy.data();
    if (!::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &proxy, sizeof(proxy))) {
        m_lastError = ::GetLastError();
        return false;
    }
    if (!m_proxyUserName.empty()) {
        ::WinHttpSetOption(
            request, WINHTTP_OPTION_PROXY_USERNAME, m_proxyUserName.data(), static_cast<DWORD>(m_proxyUserName.size()));
        ::WinHttpSetOption(
            request, WINHTTP_OPTION_PROXY_PASSWORD, m_proxyPassword.data(), static_cast<DWORD>(m_proxyPassword.size()));
    }
    return true;
}

bool WinHttpClient::SystemProxy() const noexcept
{
    return !m_proxySetting.valid || m_proxySetting.mode == Config::ProxySetting::Mode::System;
}

bool WinHttpClient::AnswerProxyChallenge(HINTERNET request)
{
    DWORD supported = 0, first = 0, target = 0;
    if (!::WinHttpQueryAuthSchemes(request, &supported, &first, &target)) {
        m_lastError = ::GetLastError();
        return false;
    }
    DWORD scheme = 0;
    for (const DWORD preferred : { WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
             WINHTTP_AUTH_SCHEME_BASIC }) {
        if (scheme == 0 && (supported & preferred) != 0) {
            scheme = preferred;
        }
    }
    if (scheme == 0
        || !::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, m_proxySetting.user.c_str(),
            m_proxySetting.password.c_str(), nullptr)) {
        m_lastError = scheme == 0 ? ERROR_NOT_SUPPORTED : ::GetLastError();
        return false;
    }
    return true;
}

bool WinHttpClient::SendWithProxyFallback(HINTERNET request, const std::wstring& url)
{
    auto send = [&] {
        const DWORD size = static_cast<DWORD>(m_dataToSend.size());
        return ::WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, size, 0)
            != FALSE;
    };
    if (send()) {
        return true;
    }
    m_lastError = ::GetLastError();
    if (!SystemProxy()) {
        return false; // the setting chose the proxy; the system's must not replace it
    }

    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config {};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        m_lastError = ::GetLastError();
        return false;
    }
    UniqueGlobalString autoConfigUrl(config.lpszAutoConfigUrl);
    UniqueGlobalString proxy(config.lpszProxy);
    UniqueGlobalString bypass(config.lpszProxyBypass);

    if (autoConfigUrl) {
        WINHTTP_AUTOPROXY_OPTIONS options {};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
        options.lpszAutoConfigUrl = autoConfigUrl.get();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info {};
        if (::WinHttpGetProxyForUrl(m_session.get(), url.c_str(), &options, &info)) {
            UniqueGlobalString infoProxy(info.lpszProxy);
            UniqueGlobalString infoBypass(info.lpszProxyBypass);
            ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
        }
    } else if (proxy) {
        WINHTTP_PROXY_INFO info {};
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = proxy.get();
        info.lpszProxyBypass = bypass.get();
        ::WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &info, sizeof(info));
    } else {
        return false;
    }
    if (send()) {
        return true;
    }
    m_lastError = ::GetLastError();
    return false;
}

void WinHttpClient::ParseHeaders(HINTERNET request)
{
    m_responseHeader = QueryText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    if (!m_forceCharset) {
        const auto charsets = FindAllMatches(m_responseHeader, L"charset=([A-Za-z0-9\\-_]+)");
        if (!charsets.empty()) {
            m_responseCharset = charsets.front();
        }
    }
    m_hasContentLength = false;
    m_contentLength = 0;
    const auto lengths = FindAllMatches(m_responseHeader, L"Content-Length: ([0-9]+)");
    if (!lengths.empty()) {
        m_contentLength = _wcstoi64(lengths.front().c_str(), nullptr, 10);
        m_hasContentLength = true;
    }
    const auto locations = FindAllMatches(m_responseHeader, L"Location: (https?:[^\\n]+?\\n)");
    if (!locations.empty()) {
        m_location = Utils::Trim(locations.front());
    }
    const auto cookies = FindAllMatches(m_responseHeader, L"Set-Cookie:[ \\t]*([^\\n]+?)\\n");
    std::wstring joined;
    for (const auto& cookie : cookies) {
        if (!joined.empty()) {
            joined += L"; ";
        }
        joined += Utils::Trim(cookie);
    }
    joined = Utils::Trim(joined, L" ");
    if (!joined.empty() && joined.back() != L';') {
        joined += L';';
    }
    m_responseCookies = joined;
    m_statusCode = QueryText(request, WINHTTP_QUERY_STATUS_CODE);
}

bool WinHttpClient::ReadBody(HINTERNET request, bool isGet)
{
    const int status = _wtoi(m_statusCode.c_str());
    const bool toFile = !m_savePath.empty();
    // An error page is not the package: only a 2xx body goes to the save file, and each
    // attempt starts it afresh so nothing of an earlier attempt or run stays in front.
    Utils::UniqueFile file;
    if (toFile && status >= 200 && status <= 299) {
        file.reset(::_wfopen(m_savePath.c_str(), L"wb"));
        if (!file) {
            m_lastError = ERROR_OPEN_FAILED;
            LOG(L"Failed to open response file. Error code: %d\r\n", static_cast<int>(m_lastError));
            return false;
        }
        std::setvbuf(file.get(), nullptr, _IOFBF, 256 * 1024);
    }
    m_responseBuffer.clear();
    m_responseBuffer.reserve(10240);

    std::vector<char> block(kBlock);
    std::int64_t received = 0;
    for (;;) {
        if (Stopped()) {
            m_lastError = ERROR_CANCELLED;
            return false;
        }
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available)) {
            m_lastError = ::GetLastError();
            return false;
        }
        if (available == 0) {
            break;
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request, block.data(), available < kBlock ? available : kBlock, &read)) {
            m_lastError = ::GetLastError();
            return false;
        }
        if (read == 0) {
            break;
        }
        received += read;
        if (file) {
            if (std::fwrite(block.data(), 1, read, file.get()) != read) {
                m_lastError = ERROR_WRITE_FAULT;
                LOG(L"Failed to write response data. Error code: %d\r\n", static_cast<int>(m_lastError));
                return false;
            }
        } else if (!toFile) {
            m_responseBuffer.insert(m_responseBuffer.end(), block.data(), block.data() + read);
        }
        if (m_progress && (file || !toFile)) {
            m_progress(received, m_hasContentLength ? m_contentLength : 0);
        }
    }
    if (file && std::fclose(file.release()) != 0) {
        m_lastError = ERROR_WRITE_FAULT;
        return false;
    }
    if (m_hasContentLength && received != m_contentLength) {
        // The connection ended before the announced length: not a whole body.
        m_lastError = ERROR_HANDLE_EOF;
        return false;
    }
    if (!toFile) {
        DecodeContent();
        if (isGet && !FindAllMatches(m_responseContent, L"(<html>)").empty()
            && FindAllMatches(m_responseContent, L"(</html>)").empty()) {
            m_lastError = ERROR_INVALID_DATA;
            return false;
        }
    }
    return true;
}

void WinHttpClient::DecodeContent()
{
    const std::string_view bytes(m_responseBuffer.data(), m_responseBuffer.size());
    const bool utf8 = m_responseCharset.size() >= 5 && EqualsIgnoringCase(m_responseCharset.substr(0, 5), L"utf-8");
    m_responseContent = Utils::MultiByteToWide(bytes, utf8 ? CP_UTF8 : CP_ACP);
    if (m_responseContent.empty() && !bytes.empty()) {
        m_responseContent = Utils::MultiByteToWide(bytes, CP_ACP);
    }
}

bool WinHttpClient::SendHttpRequest(const std::wstring& verbText)
{
    if (m_requestUrl.empty()) {
        m_lastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const std::wstring verb = Upper(verbText);
    if (verb != L"GET" && verb != L"POST") {
        m_lastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    if (!EnsureSession()) {
        return false;
    }
    ::WinHttpSetTimeouts(m_session.get(), m_resolveTimeout, m_connectTimeout, m_sendTimeout, m_receiveTimeout);

    // Redirects are followed here rather than inside WinHTTP, so the URL the body came from
    // is known: the package's digest is read from it.
    std::wstring url = m_requestUrl;
    for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        std::wstring next;
        if (!SendTo(url, verb, next)) {
            return false;
        }
        if (next.empty()) {
            m_effectiveUrl = url;
            return true;
        }
        if (url.rfind(L"https:", 0) == 0 && next.rfind(L"https:", 0) != 0) {
            m_lastError = ERROR_WINHTTP_REDIRECT_FAILED; // no step down from HTTPS
            return false;
        }
        url = next;
    }
    m_lastError = ERROR_WINHTTP_REDIRECT_FAILED;
    return false;
}

bool WinHttpClient::SendTo(const std::wstring& url, const std::wstring& verb, std::wstring& redirect)
{
    std::vector<wchar_t> scheme(16), host(260), path(1300);
    URL_COMPONENTS parts {};
    parts.dwStructSize = sizeof(parts);
    parts.lpszScheme = scheme.data();
    parts.dwSchemeLength = static_cast<DWORD>(scheme.size());
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    parts.dwExtraInfoLength = 1; // the query stays part of the path
    if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) {
        m_lastError = ::GetLastError();
        return false;
    }
    m_requestHost = host.data();
    const bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    UniqueWinHttp connection(::WinHttpConnect(m_session.get(), m_requestHost.c_str(), parts.nPort, 0));
    if (!connection) {
        m_lastError = ::GetLastError();
        return false;
    }
    UniqueWinHttp request(::WinHttpOpenRequest(connection.get(), verb.c_str(), path.data(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!request) {
        m_lastError = ::GetLastError();
        return false;
    }
    m_activeRequest = request.get();
    // Whoever takes the handle back closes it: this thread, or Cancel on another one.
    Utils::ScopeExit untrack([&] {
        if (!m_activeRequest.exchange(nullptr)) {
            [[maybe_unused]] HINTERNET closedByCancel = request.release();
        }
    });
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    ::WinHttpSetOption(request.get(), WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
    if (!m_requireValidCertificate && secure) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID
            | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
        ::WinHttpSetOption(request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }

    bool succeeded = false;
    bool challenged = false;
    for (int attempt = 0; attempt < kAttempts && !succeeded && !Stopped(); ++attempt) {
        if (!m_additionalHeaders.empty()) {
            ::WinHttpAddRequestHeaders(request.get(), m_additionalHeaders.c_str(), static_cast<DWORD>(-1),
                WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON);
        }
        if (!m_requestCookies.empty()) {
            const std::wstring cookie = L"Cookie: " + m_requestCookies;
            ::WinHttpAddRequestHeaders(
                request.get(), cookie.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON);
        }
        if (!m_proxy.empty() && !ApplyNamedProxy(request.get())) {
            continue;
        }
        if (!SendWithProxyFallback(request.get(), url)) {
            continue;
        }
        if (!m_dataToSend.empty()) {
            DWORD written = 0;
            if (!::WinHttpWriteData(
                    request.get(), m_dataToSend.data(), static_cast<DWORD>(m_dataToSend.size()), &written)) {
                m_lastError = ::GetLastError();
                continue;
            }
        }
        if (!::WinHttpReceiveResponse(request.get(), nullptr)) {
            m_lastError = ::GetLastError();
            continue;
        }
        ParseHeaders(request.get());
        const int status = _wtoi(m_statusCode.c_str());
        if (status == 407 && !challenged && !SystemProxy() && m_proxySetting.HasCredentials()) {
            challenged = true;
            if (AnswerProxyChallenge(request.get())) {
                --attempt; // sending again with the credentials is not a failed attempt
                continue;
            }
        }
        if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
            redirect = ResolveLocation(url, QueryText(request.get(), WINHTTP_QUERY_LOCATION));
            if (!redirect.empty()) {
                return true;
            }
        }
        succeeded = ReadBody(request.get(), verb == L"GET");
    }
    return succeeded;
}

std::wstring ResolveLocation(const std::wstring& base, const std::wstring& location)
{
    if (location.empty()) {
        return {};
    }
    if (location.find(L"://") != std::wstring::npos) {
        return location;
    }
    const auto schemeEnd = base.find(L"://");
    if (schemeEnd == std::wstring::npos) {
        return {};
    }
    const auto pathStart = base.find(L'/', schemeEnd + 3);
    const std::wstring origin = pathStart == std::wstring::npos ? base : base.substr(0, pathStart);
    if (location.rfind(L"//", 0) == 0) {
        return base.substr(0, schemeEnd + 1) + location;
    }
    if (location.front() == L'/') {
        return origin + location;
    }
    const auto lastSlash = base.rfind(L'/');
    return (lastSlash == std::wstring::npos || lastSlash < schemeEnd + 3 ? origin + L"/"
                                                                         : base.substr(0, lastSlash + 1))
        + location;
}
