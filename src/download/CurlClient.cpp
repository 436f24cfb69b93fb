#include "download/CurlClient.h"

#include <share.h>
#include <windows.h>

#include <cerrno>
#include <cwchar>

#include "download/BackgroundMd5.h"
#include "download/CurlProxy.h"
#include "download/LocalFiles.h"
#include "utils/Log.h"
#include "utils/UniqueFile.h"

using Download::UniqueCurl;
using Download::UniqueCurlList;

namespace {

constexpr double kMinimumLength = 1048576.0;
// Fewer, larger reads and writes: each one is a round trip to the system under Wine.
constexpr long kReceiveBuffer = 1024 * 1024;
// libcurl hands the body over in pieces of at most 16 KiB whatever its receive buffer; the part
// file's stream collects them, so the system sees one write per 256 KiB instead of 16 of them.
constexpr std::size_t kWriteBuffer = 256 * 1024;

// Where the write function puts the body: the part file, and the digest of everything in it.
struct WriteTarget {
    std::FILE* file;
    Download::BackgroundMd5* digest;
    CURL* easy;
    std::int64_t size; // what the part file holds
    std::int64_t bound; // what it may come to: the announced length
    bool overBound = false;
};

std::string EffectiveUrl(CURL* handle)
{
    char* effective = nullptr;
    if (::curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK || !effective) {
        return {};
    }
    return effective;
}

double ContentLength(CURL* handle, CURLcode* query)
{
    curl_off_t length = -1;
    const CURLcode result = ::curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (query) {
        *query = result;
    }
    return result == CURLE_OK ? static_cast<double>(length) : -1.0;
}

} // namespace

size_t DiscardBody(char*, size_t size, size_t count, void*) noexcept
{
    return size * count;
}

CurlClient::CurlClient(std::wstring url, std::wstring filePath, void* owner, ClientProgressFn progress)
    : m_url(std::move(url))
    , m_filePath(std::move(filePath))
    , m_owner(owner)
    , m_progress(progress)
    , m_proxy(std::make_shared<Download::ProxyResolver>())
{
}

CurlClient::~CurlClient()
{
    m_stop = true;
    Download::RemoveLocalFile(GetFilePath(true));
    m_url.clear();
    m_filePath.clear();
    m_realUrl.clear();
}

std::wstring CurlClient::GetFilePath(bool part) const
{
    return part ? m_filePath + L".part" : m_filePath;
}

CURLcode CurlClient::SetProbeChecks(CURL* handle)
{
    m_check.Begin(handle, m_stallSeconds, m_headerSeconds);
    CURLcode result = m_retryAfterHeader.Watch(handle);
    result = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    result
        = result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CurlClient::StopCallback);
    return result != CURLE_OK ? result : ::curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
}

void CurlClient::NoteAnswer(CURL* handle)
{
    long status = 0;
    ::curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    m_status = status;
    m_retryAfter = m_retryAfterHeader.Seconds();
}

bool CurlClient::MustAbort(curl_off_t received)
{
    return m_stop || m_check.Stalled(received);
}

UniqueCurl CurlClient::Head(const std::string& url)
{
    UniqueCurl handle = Download::NewCurlHandle();
    if (!handle) {
        return handle;
    }
    CURLcode result = ::curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
    result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &DiscardBody);
    result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT, 60L);
    result = result != CURLE_OK ? result : Download::RequireVerifiedTls(handle.get());
    result = result != CURLE_OK ? result : SetProbeChecks(handle.get());
    if (result == CURLE_OK) {
        result = m_check.End(Download::PerformThroughProxy(handle.get(), url, *m_proxy, true));
        NoteAnswer(handle.get());
        if (result != CURLE_OK) {
            LOG(L"error:%d:%hs\r\n", static_cast<int>(result), Download::CurlErrorText(result));
        }
    }
    LOG(L"error:%d:%hs\r\n", static_cast<int>(result), Download::CurlErrorText(result));
    return handle;
}

double CurlClient::GetDownloadFileLength(CURL* handle)
{
    CURLcode query = CURLE_OK;
    const double length = ContentLength(handle, &query);
    LOG(L"error:%d:%hs\r\n", static_cast<int>(query), Download::CurlErrorText(query));
    long status = 0;
    if (::curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status < 200 || status > 399) {
        return -1.0;
    }
    return length;
}

double CurlClient::GetDownloadFileLength_Str(const std::string& url)
{
    double length = -1.0;
    CURLcode statusQuery = CURLE_FAILED_INIT;
    UniqueCurl handle = Download::NewCurlHandle();
    if (handle) {
        CURLcode result = ::curl_easy_setopt(handle.get(), CURLOPT_HEADER, 1L);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &DiscardBody);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT, 60L);
        result = result != CURLE_OK ? result : Download::RequireVerifiedTls(handle.get());
        result = result != CURLE_OK ? result : SetProbeChecks(handle.get());
        if (result == CURLE_OK) {
            m_check.End(Download::PerformThroughProxy(handle.get(), url, *m_proxy, false));
            NoteAnswer(handle.get());
            length = ContentLength(handle.get(), nullptr);
            long status = 0;
            statusQuery = ::curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &status);
        }
    }
    LOG(L"error:%d:%hs\r\n", static_cast<int>(statusQuery), Download::CurlErrorText(statusQuery));
    return length;
}

std::string CurlClient::GetRealUrl_Str(const std::string& url)
{
    std::string effective;
    UniqueCurl handle = Download::NewCurlHandle();
    if (handle) {
        CURLcode result = ::curl_easy_setopt(handle.get(), CURLOPT_NOBODY, 1L);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_WRITEFUNCTION, &DiscardBody);
        result = result != CURLE_OK ? result : ::curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT, 60L);
        result = result != CURLE_OK ? result : Download::RequireVerifiedTls(handle.get());
        result = result != CURLE_OK ? result : SetProbeChecks(handle.get());
        result = result != CURLE_OK ? result
                                    : m_check.End(Download::PerformThroughProxy(handle.get(), url, *m_proxy, true));
        if (result != CURLE_OK) {
            LOG(L"error:%d:%hs\r\n", static_cast<int>(result), Download::CurlErrorText(result));
        } else {
            effective = EffectiveUrl(handle.get());
        }
    }
    return effective.empty() ? url : effective;
}

void CurlClient::Probe(const std::string& url)
{
    if (m_realUrl.empty() || m_totalLength < kMinimumLength) {
        UniqueCurl handle = Head(url);
        if (handle) {
            m_realUrl = EffectiveUrl(handle.get());
            m_totalLength = GetDownloadFileLength(handle.get());
        }
        if (Download::JudgeStatus(m_status) == Download::StatusVerdict::Busy) {
            return; // asked again after the pause the server wants, not at once
        }
    }
    if (m_realUrl.empty() || m_totalLength < kMinimumLength) {
        m_realUrl = GetRealUrl_Str(url);
        if (!m_realUrl.empty()) {
            m_totalLength = GetDownloadFileLength_Str(m_realUrl);
        }
    }
}

int CurlClient::Start()
{
    LOG(L"start download\r\n");
    const std::wstring partPath = GetFilePath(true);
    const std::string url = Download::NarrowUrl(m_url);

    m_status = 0;
    m_retryAfter = -1;
    Probe(url);
    int result = 0;
    if (m_totalLength < kMinimumLength) {
        // A probe answered with an error: the GET would get the same.
        result = m_status >= 400 ? CURLE_HTTP_RETURNED_ERROR : Download::kLengthUnusable;
    } else if (Download::RefuseAddress(m_rules, m_realUrl)) {
        result = Download::kAddressRefused;
    } else {
        result = Transfer(partPath);
    }

    LOG(L"error:%d:%hs\r\n", result, Download::CurlErrorText(result));
    LOG(L"end download\r\n");
    return result;
}

int CurlClient::Transfer(const std::wstring& partPath)
{
    UniqueCurl handle = Download::NewCurlHandle();
    if (!handle) {
        return Download::kEasyHandleFailed;
    }

    // A part file longer than the package cannot be resumed; one exactly as long is done.
    std::int64_t existing = Download::LocalFileSize(partPath);
    const auto total = static_cast<std::int64_t>(m_totalLength);
    if (existing > total) {
        Download::TruncateLocalFile(partPath);
        existing = 0;
    }
    existing = existing < 0 ? 0 : existing; // no part file yet: it is created empty below
    const std::wstring noRoom
        = Download::RoomProblem(m_rules, total, total - existing, Download::FreeBytesFor(partPath));
    if (!noRoom.empty()) {
        LOG(L"download refused: %s\r\n", noRoom.c_str());
        return Download::kBodyOverBound;
    }

    // Nobody else may write, rename or delete the part file from its first byte on.
    Utils::UniqueFile part(::_wfsopen(partPath.c_str(), L"ab+", _SH_DENYWR));
    if (!part) {
        wchar_t text[201] = {};
        ::_wcserror_s(text, 200, errno);
        m_errorText = text;
        return Download::kPartFileOpenFailed;
    }

    // Failing, it leaves the stream's own small buffer, which still works.
    std::setvbuf(part.get(), nullptr, _IOFBF, kWriteBuffer);

    m_fileDigest.clear();
    m_writtenStamp = {};
    Download::BackgroundMd5 digest;
    if (existing > 0) {
        digest.AddFile(partPath);
    }
    WriteTarget target { part.get(), &digest, handle.get(), existing, total };

    // identity: the body is stored as it arrives, so no encoding we would not decode.
    UniqueCurlList headers;
    Download::AppendHeader(headers, "Connection: keep-alive");
    Download::AppendHeader(headers, "Accept-Encoding: identity");

    CURL* easy = handle.get();
    ::curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    ::curl_easy_setopt(easy, CURLOPT_TCP_KEEPALIVE, 1L);
    ::curl_easy_setopt(easy, CURLOPT_TCP_KEEPIDLE, 10L);
    ::curl_easy_setopt(easy, CURLOPT_TCP_KEEPINTVL, 10L);
    ::curl_easy_setopt(easy, CURLOPT_TIMEOUT, 0L);
    int options = ::curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlClient::WriteToFile);
    options |= ::curl_easy_setopt(easy, CURLOPT_WRITEDATA, &target);
    options |= ::curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlClient::ProgressCallback);
    options |= ::curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
    options |= ::curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    options |= ::curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, 60L);
    options |= ::curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBuffer);
    options |= Download::RequireVerifiedTls(easy);
    options |= m_retryAfterHeader.Watch(easy);
    if (m_rules.maxBytesPerSecond > 0) {
        options |= ::curl_easy_setopt(
            easy, CURLOPT_MAX_RECV_SPEED_LARGE, static_cast<curl_off_t>(m_rules.maxBytesPerSecond));
    }

    m_resumeOffset = existing;
    if (m_resumeOffset > 0) {
        options |= ::curl_easy_setopt(easy, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(m_resumeOffset));
    }

    int result = options;
    if (result == 0) {
        if (m_resumeOffset == total) {
            result = CURLE_OK;
        } else {
            m_check.Begin(easy, m_stallSeconds, m_headerSeconds);
            result = m_check.End(Download::PerformThroughProxy(easy, m_realUrl, *m_proxy, true));
            NoteAnswer(easy);
            if (result == CURLE_OK && Download::InRedirectResponse(easy)) {
                result = CURLE_HTTP_RETURNED_ERROR; // a redirect that leads nowhere is not the file
            }
        }
    }
    handle.reset();
    if (target.overBound) {
        LOG(L"download stopped: the body goes past its announced %lld bytes\r\n", static_cast<long long>(total));
        result = Download::kBodyOverBound;
    }
    // The last thing before the close; the rename below keeps the file's identity.
    const Utils::FileStamp written = result == CURLE_OK ? Utils::SealFileStamp(part.get()) : Utils::FileStamp {};
    if (std::fclose(part.release()) != 0 && result == CURLE_OK) {
        result = CURLE_WRITE_ERROR;
    }

    if (result == CURLE_RANGE_ERROR) {
        // The server ignored the resume range: start over rather than append a second copy.
        Download::TruncateLocalFile(partPath);
    }
    if (result == CURLE_OK && !Download::ReplaceLocalFile(partPath, GetFilePath(false))) {
        result = CURLE_WRITE_ERROR;
    }
    if (result == CURLE_OK) {
        m_fileDigest = digest.Finish();
        m_writtenStamp = written;
    }
    return result;
}

size_t CurlClient::WriteToFile(char* data, size_t size, size_t count, void* targetData) noexcept
{
    auto* target = static_cast<WriteTarget*>(targetData);
    if (!target || !target->file) {
        return 0;
    }
    if (Download::InRedirectResponse(target->easy)) {
        return size * count;
    }
    // A server that keeps sending past the length it announced would fill the drive.
    if (static_cast<std::int64_t>(size * count) > target->bound - target->size) {
        target->overBound = true;
        return 0;
    }
    const size_t written = std::fwrite(data, size, count, target->file);
    target->digest->Add(data, written * size);
    target->size += static_cast<std::int64_t>(written * size);
    return written;
}

int CurlClient::StopCallback(void* client, curl_off_t, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept
{
    return static_cast<CurlClient*>(client)->MustAbort(downloadNow) ? 1 : 0;
}

int CurlClient::ProgressCallback(
    void* clientData, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t, curl_off_t) noexcept
{
    auto* client = static_cast<CurlClient*>(clientData);
    if (client->MustAbort(downloadNow)) {
        return 1;
    }
    const std::uint64_t now = ::GetTickCount64();
    if (now - client->m_lastReportTick < 1000) {
        return 0;
    }
    client->m_lastReportTick = now;

    double speed = 0.0;
    if (CURL* easy = client->m_check.Handle()) {
        curl_off_t bytesPerSecond = 0;
        if (::curl_easy_getinfo(easy, CURLINFO_SPEED_DOWNLOAD_T, &bytesPerSecond) == CURLE_OK) {
            speed = static_cast<double>(bytesPerSecond);
        }
    }

    double percent = 0.0;
    if (client->m_totalLength > kMinimumLength) {
        percent = static_cast<double>(downloadNow + client->m_resumeOffset) / client->m_totalLength * 100.0;
    } else {
        if (downloadNow <= 0 || downloadTotal <= 0) {
            return 0;
        }
        percent = static_cast<double>(downloadNow) * 100.0 / static_cast<double>(downloadTotal);
    }
    if (percent == 0.0) {
        return 0;
    }
    if (client->m_progress) {
        client->m_progress(client->m_owner, speed, 0.0, percent);
    }
    if (downloadTotal != 0) {
        LOG(L" %dM %dM   progress:%f%%  speed:%f \n", static_cast<int>(downloadNow / 1048576),
            static_cast<int>(downloadTotal / 1048576), static_cast<double>(static_cast<float>(percent)),
            static_cast<double>(static_cast<float>(speed * 0.0009765625)));
    }
    return 0;
}
