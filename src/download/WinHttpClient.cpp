#include "download/WinHttpClient.h"

#include <share.h>
#include <algorithm>
#include <cstdio>
#include <cwctype>

#include "download/RatePacer.h"
#include "download/ReadPace.h"
#include "download/RedirectPolicy.h"
#include "download/WinHttpAsyncRequest.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Md5.h"
#include "utils/Text.h"
#include "utils/TextPattern.h"
#include "utils/UniqueFile.h"

using Download::UniqueWinHttp;
using Download::WinHttpAsyncRequest;

namespace {

// The save file's stream collects reads, so small ones cost no write each.
constexpr std::size_t kWriteBuffer = 256 * 1024;

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
    const auto expression = Utils::TextPattern::Compile(pattern);
    if (!expression) {
        LOG(L"FindAllMatches: the pattern %s does not compile\r\n", pattern.c_str());
        return found;
    }
    std::size_t from = 0;
    while (const auto match = expression->Search(text, from)) {
        from = match->end > match->start ? match->end : match->end + 1;
        if (match->groups.empty()) {
            continue;
        }
        std::wstring capture = match->groups.front();
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

void WinHttpClient::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs)
{
    m_resolveTimeout = resolveMs;
    m_connectTimeout = connectMs;
    m_sendTimeout = sendMs;
    m_receiveTimeout = receiveMs;
}

HINTERNET WinHttpClient::SessionFor(const std::wstring& proxy)
{
    const auto known = m_sessions.find(proxy);
    if (known != m_sessions.end()) {
        return known->second.get();
    }
    // A session-wide named proxy is the one form every WinHTTP honours (Wine ignores a
    // per-request one), so each distinct decision gets a session of its own.
    const DWORD access = proxy.empty() ? WINHTTP_ACCESS_TYPE_NO_PROXY : WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    const wchar_t* name = proxy.empty() ? WINHTTP_NO_PROXY_NAME : proxy.c_str();
    UniqueWinHttp session(
        ::WinHttpOpen(m_userAgent.c_str(), access, name, WINHTTP_NO_PROXY_BYPASS, WINHTTP_FLAG_ASYNC));
    if (!session || !WinHttpAsyncRequest::PrepareSession(session.get())) {
        m_lastError = ::GetLastError();
        return nullptr;
    }
    ::WinHttpSetTimeouts(session.get(), m_resolveTimeout, m_connectTimeout, m_sendTimeout, m_receiveTimeout);
    // Windows 7 offers only SSL 3 and TLS 1.0 unless asked; servers want TLS 1.2 or later. A
    // system that does not know TLS 1.3 refuses the whole set: ask again without it.
    DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_1
        | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
    if (!::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols))) {
        protocols &= ~static_cast<DWORD>(WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3);
        ::WinHttpSetOption(session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols));
    }
    return m_sessions.emplace(proxy, std::move(session)).first->second.get();
}

bool WinHttpClient::AnswerProxyChallenge(HINTERNET request, const std::wstring& proxy)
{
    const Config::ProxySetting& setting = m_proxy->Setting();
    const bool ownProxy
        = setting.valid && setting.mode == Config::ProxySetting::Mode::Named && setting.HostPort() == proxy;
    DWORD supported = 0, first = 0, target = 0;
    if (proxy.empty() || !::WinHttpQueryAuthSchemes(request, &supported, &first, &target)) {
        return false;
    }
    // The setting's credentials answer its own proxy; other proxies get the logged-on user
    // where the scheme allows it.
    DWORD scheme = 0;
    for (const DWORD preferred : { WINHTTP_AUTH_SCHEME_NEGOTIATE, WINHTTP_AUTH_SCHEME_NTLM, WINHTTP_AUTH_SCHEME_DIGEST,
             WINHTTP_AUTH_SCHEME_BASIC }) {
        const bool usable = ownProxy
            ? setting.HasCredentials()
            : preferred == WINHTTP_AUTH_SCHEME_NEGOTIATE || preferred == WINHTTP_AUTH_SCHEME_NTLM;
        if (scheme == 0 && usable && (supported & preferred) != 0) {
            scheme = preferred;
        }
    }
    if (scheme == 0) {
        return false;
    }
    const wchar_t* user = ownProxy ? setting.user.c_str() : nullptr;
    const wchar_t* password = ownProxy ? setting.password.c_str() : nullptr;
    return ::WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, user, password, nullptr) != FALSE;
}

void WinHttpClient::ParseHeaders(HINTERNET request)
{
    m_responseHeader = QueryText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    if (!m_forceCharset) {
        const auto charsets = FindAllMatches(m_responseHeader, WinHttpScan::kCharset);
        if (!charsets.empty()) {
            m_responseCharset = charsets.front();
        }
    }
    m_hasContentLength = false;
    m_contentLength = 0;
    const auto lengths = FindAllMatches(m_responseHeader, WinHttpScan::kContentLength);
    if (!lengths.empty()) {
        m_contentLength = _wcstoi64(lengths.front().c_str(), nullptr, 10);
        m_hasContentLength = true;
    }
    const auto locations = FindAllMatches(m_responseHeader, WinHttpScan::kLocation);
    if (!locations.empty()) {
        m_location = Utils::Trim(locations.front());
    }
    const auto cookies = FindAllMatches(m_responseHeader, WinHttpScan::kSetCookie);
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
    m_retryAfter = QueryText(request, WINHTTP_QUERY_RETRY_AFTER);
}

std::uint64_t WinHttpClient::StallDeadline(std::uint64_t since) const noexcept
{
    return m_stallSeconds > 0 ? since + static_cast<std::uint64_t>(m_stallSeconds) * 1000 : 0;
}

std::uint64_t WinHttpClient::HeaderDeadline(std::uint64_t since) const noexcept
{
    if (m_stallSeconds <= 0) {
        return 0;
    }
    const long seconds = m_headerSeconds > m_stallSeconds ? m_headerSeconds : m_stallSeconds;
    return since + static_cast<std::uint64_t>(seconds) * 1000;
}

bool WinHttpClient::Pace(std::uint64_t bytes)
{
    const std::uint64_t wait = m_pacer ? m_pacer->Took(bytes) : 0;
    if (wait == 0) {
        return true;
    }
    if (!m_stop) {
        ::Sleep(static_cast<DWORD>(wait));
        return true;
    }
    if (m_stop->WaitFor(static_cast<unsigned>(wait))) {
        m_lastError = ERROR_WINHTTP_OPERATION_CANCELLED;
        return false;
    }
    return true;
}

bool WinHttpClient::ReadBody(WinHttpAsyncRequest& request, bool isGet)
{
    const int status = _wtoi(m_statusCode.c_str());
    const bool toFile = !m_savePath.empty();
    // An error page is not the package: only a 2xx body goes to the save file. It replaces
    // what the file held, unless it is the rest the request asked for.
    Utils::UniqueFile file;
    // The saved file's MD5, taken while WinHTTP's worker thread receives the next read.
    std::unique_ptr<Utils::Md5Stream> digest;
    m_resumedFrom = 0;
    m_savedDigest.clear();
    m_savedStamp = {};
    if (toFile && status >= 200 && status <= 299) {
        const bool resumed = status == 206 && m_resumeOffset > 0;
        if (resumed) {
            const auto starts = FindAllMatches(m_responseHeader, WinHttpScan::kContentRangeStart);
            if (starts.empty() || _wcstoi64(starts.front().c_str(), nullptr, 10) != m_resumeOffset) {
                m_lastError = ERROR_INVALID_DATA; // not the part that was asked for
                return false;
            }
            m_resumedFrom = m_resumeOffset;
        }
        digest = std::make_unique<Utils::Md5Stream>();
        if (resumed) {
            digest->AddFile(m_savePath);
        }
        // Nobody else may write, rename or delete the part file from its first byte on.
        // Open for reading too: the stamp taken before the close reads the file's attributes.
        file.reset(::_wfsopen(m_savePath.c_str(), resumed ? L"ab+" : L"wb+", _SH_DENYWR));
        if (!file) {
            m_lastError = ERROR_OPEN_FAILED;
            LOG(L"Failed to open response file. Error code: %d\r\n", static_cast<int>(m_lastError));
            return false;
        }
        std::setvbuf(file.get(), nullptr, _IOFBF, kWriteBuffer);
        if (m_hasContentLength && m_resumedFrom + m_contentLength > m_bodyLimit) {
            m_lastError = ERROR_FILE_TOO_LARGE;
            LOG(L"download refused: the body's %lld bytes go past the bound of %lld\r\n",
                static_cast<long long>(m_resumedFrom + m_contentLength), static_cast<long long>(m_bodyLimit));
            return false;
        }
    }
    m_responseBuffer.clear();
    m_responseBuffer.reserve(10240);

    std::int64_t received = 0;
    std::uint64_t lastByte = ::GetTickCount64();
    // One read's bytes to the file or memory; false when they cannot be written.
    const auto take = [&](const char* data, DWORD size) {
        lastByte = ::GetTickCount64();
        received += size;
        // A server that keeps sending would otherwise fill the drive.
        if (file && (m_resumedFrom + received > m_bodyLimit || (m_hasContentLength && received > m_contentLength))) {
            m_lastError = ERROR_FILE_TOO_LARGE;
            LOG(L"download stopped: the body goes past its bound of %lld bytes\r\n",
                static_cast<long long>(m_hasContentLength ? m_resumedFrom + m_contentLength : m_bodyLimit));
            return false;
        }
        if (file) {
            if (std::fwrite(data, 1, size, file.get()) != size) {
                m_lastError = ERROR_WRITE_FAULT;
                LOG(L"Failed to write response data. Error code: %d\r\n", static_cast<int>(m_lastError));
                return false;
            }
            digest->Add(data, size);
            if (!Pace(size)) {
                return false;
            }
            lastByte = ::GetTickCount64(); // the pause is ours, not a stall
        } else if (!toFile) {
            m_responseBuffer.insert(m_responseBuffer.end(), data, data + size);
        }
        if (m_progress && (file || !toFile)) {
            m_progress(m_resumedFrom + received, m_hasContentLength ? m_resumedFrom + m_contentLength : 0);
        }
        return true;
    };
    const auto requestFailed = [&] {
        m_lastError = request.Error();
        return false;
    };
    // Each round first takes what WinHTTP holds already: asked for more while it holds some,
    // Wine fills the read on this thread, blocked where neither a stall nor a stop can end it.
    // With its buffer empty, a larger read goes to its worker thread; the bytes of the last
    // one are written and hashed meanwhile, in two slots taken in turn.
    Download::ReadPace pace;
    // Under a rate limit no read asks for more than the pacer's burst.
    const DWORD most = file && m_pacer ? m_pacer->ReadLimit() : MAXDWORD;
    const char* pending = nullptr;
    DWORD pendingSize = 0;
    for (int slot = 0;; slot = 1 - slot) {
        const std::uint64_t asked = ::GetTickCount64();
        DWORD available = 0;
        if (!request.QueryDataAvailable(available, StallDeadline(lastByte))) {
            return requestFailed();
        }
        const char* data = nullptr;
        DWORD read = 0;
        if (available > 0 && !request.Read(std::min(available, most), data, read, StallDeadline(lastByte))) {
            return requestFailed();
        }
        const bool larger = read > 0 && pace.ReadsAhead();
        if (larger && !request.StartRead(std::min<DWORD>(pace.Next(), most), slot)) {
            return requestFailed();
        }
        if ((pendingSize > 0 && !take(pending, pendingSize)) || (read > 0 && !take(data, read))) {
            return false;
        }
        pendingSize = 0;
        if (read == 0) {
            break;
        }
        if (!larger) {
            pace.Completed(read, ::GetTickCount64() - asked);
            continue;
        }
        if (!request.FinishRead(pending, pendingSize, StallDeadline(lastByte))) {
            return requestFailed();
        }
        if (pendingSize == 0) {
            break;
        }
        lastByte = ::GetTickCount64();
        pace.Completed(pendingSize, lastByte - asked);
    }
    // The last thing before the close; the rename after it keeps the file's identity.
    const Utils::FileStamp written = file ? Utils::SealFileStamp(file.get()) : Utils::FileStamp {};
    if (file && std::fclose(file.release()) != 0) {
        m_lastError = ERROR_WRITE_FAULT;
        return false;
    }
    if (m_hasContentLength && received != m_contentLength) {
        // The connection ended before the announced length: not a whole body.
        m_lastError = ERROR_HANDLE_EOF;
        return false;
    }
    if (digest) {
        m_savedStamp = written;
        m_savedDigest = digest->Finish();
    }
    if (!toFile) {
        DecodeContent();
        if (isGet && !FindAllMatches(m_responseContent, WinHttpScan::kPageOpen).empty()
            && FindAllMatches(m_responseContent, WinHttpScan::kPageClose).empty()) {
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
    if (!m_proxy) {
        m_proxy = std::make_shared<Download::ProxyResolver>(Config::ProxySetting {}, m_stop);
    }

    // Redirects are followed here rather than inside WinHTTP, so the URL the body came from
    // is known (the package's digest is read from it) and each host gets its own proxy.
    std::wstring url = m_requestUrl;
    for (int hop = 0;; ++hop) {
        const auto proxies = m_proxy->ProxiesFor(url);
        if (!proxies) {
            m_lastError = ERROR_WINHTTP_OPERATION_CANCELLED;
            return false;
        }
        std::wstring next;
        bool answered = false;
        for (std::size_t i = 0; i < proxies->size(); ++i) {
            const std::wstring& proxy = (*proxies)[i];
            bool sent = false;
            answered = SendTo(url, verb, proxy, next, sent);
            if (answered || sent || proxy.empty() || i + 1 == proxies->size()
                || m_lastError == ERROR_WINHTTP_OPERATION_CANCELLED) {
                break;
            }
            LOG(L"proxy %s unreachable (%lu), trying the next\r\n", Utils::RedactUrl(proxy).c_str(), m_lastError);
        }
        if (!answered) {
            return false;
        }
        if (next.empty()) {
            m_effectiveUrl = url;
            return true;
        }
        if (Download::CheckRedirect(url, next, hop) != Download::RedirectVerdict::Follow) {
            m_lastError = ERROR_WINHTTP_REDIRECT_FAILED;
            return false;
        }
        url = next;
    }
}

bool WinHttpClient::SendTo(
    const std::wstring& url, const std::wstring& verb, const std::wstring& proxy, std::wstring& redirect, bool& sent)
{
    sent = false;
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

    const HINTERNET session = SessionFor(proxy);
    if (!session) {
        return false;
    }
    UniqueWinHttp connection(::WinHttpConnect(session, m_requestHost.c_str(), parts.nPort, 0));
    if (!connection) {
        m_lastError = ::GetLastError();
        return false;
    }
    WinHttpAsyncRequest request(m_stop);
    if (!request.Open(connection.get(), verb, path.data(), secure)) {
        m_lastError = request.Error();
        return false;
    }
    const HINTERNET handle = request.Handle();
    DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
    ::WinHttpSetOption(handle, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof(never));
    // WinHTTP's own wait for the headers must not end before the header bound does.
    DWORD headerWait = static_cast<DWORD>(m_headerSeconds > 0 ? m_headerSeconds + 5 : 0) * 1000;
    if (headerWait > static_cast<DWORD>(m_receiveTimeout)) {
        ::WinHttpSetOption(handle, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headerWait, sizeof(headerWait));
    }
    if (!m_requireValidCertificate && secure) {
        DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID
            | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
        ::WinHttpSetOption(handle, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof(flags));
    }
    const auto addHeader = [handle](const std::wstring& line, DWORD how) {
        ::WinHttpAddRequestHeaders(handle, line.c_str(), static_cast<DWORD>(-1), how);
    };
    if (!m_additionalHeaders.empty()) {
        addHeader(m_additionalHeaders, WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON);
    }
    if (!m_requestCookies.empty()) {
        addHeader(L"Cookie: " + m_requestCookies, WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON);
    }
    if (!m_savePath.empty() && verb == L"GET" && m_resumeOffset > 0) {
        addHeader(L"Range: bytes=" + std::to_wstring(m_resumeOffset) + L"-", WINHTTP_ADDREQ_FLAG_ADD);
    }

    for (bool challenged = false;;) {
        const std::uint64_t began = ::GetTickCount64();
        const std::uint64_t sendLimit
            = m_connectTimeout > 0 && m_sendTimeout > 0 ? began + m_connectTimeout + m_sendTimeout : 0;
        if (!request.Send(m_dataToSend, sendLimit)) {
            m_lastError = request.Error();
            return false;
        }
        sent = true;
        // The headers have their bound; after them the stall rule applies byte by byte.
        if (!request.ReceiveResponse(HeaderDeadline(::GetTickCount64()))) {
            m_lastError = request.Error();
            return false;
        }
        ParseHeaders(handle);
        if (_wtoi(m_statusCode.c_str()) == 407 && !challenged && AnswerProxyChallenge(handle, proxy)) {
            challenged = true; // sent again with the credentials
            continue;
        }
        break;
    }
    const int status = _wtoi(m_statusCode.c_str());
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        redirect = ResolveLocation(url, QueryText(handle, WINHTTP_QUERY_LOCATION));
        if (!redirect.empty()) {
            return true;
        }
    }
    if (!m_savePath.empty() && m_addressCheck && status >= 200 && status <= 299 && !m_addressCheck(url)) {
        m_lastError = ERROR_ACCESS_DENIED;
        return false;
    }
    return ReadBody(request, verb == L"GET");
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
