#include "download/LocalFileDownloader.h"

#include <windows.h>

#include "download/LocalFiles.h"
#include "utils/FileCopy.h"
#include "utils/Log.h"
#include "utils/Md5.h"

using namespace Download;

namespace {

constexpr wchar_t kLocalFileMessage[] = L"LocalFile";

// The digest folder rule reads an address: the path with its separators as one has them.
std::wstring AsAddress(std::wstring path)
{
    for (wchar_t& c : path) {
        c = c == L'\\' ? L'/' : c;
    }
    return path;
}

} // namespace

LocalFileDownloader::LocalFileDownloader(
    const DownloaderCallback& callback, std::wstring sourcePath, const std::wstring& localPath, PackageRules rules)
    : m_callback(callback)
    , m_source(std::move(sourcePath))
    , m_localPath(localPath)
    , m_rules(rules)
    , m_verdict({ L"file文件md5校验失败", L"file获取path-md5失败", kLocalFileMessage }, rules.acceptWithoutDigest)
{
}

LocalFileDownloader::~LocalFileDownloader()
{
    Stop();
}

void LocalFileDownloader::Start()
{
    m_threads.JoinAllButCaller();
    if (!m_stop.RunUnlessRequested([this] { m_threads.Launch(this, L"ABDEF", &LocalFileDownloader::RunThread); })) {
        LOG(L"stopped for good: no new run\r\n");
    }
}

bool LocalFileDownloader::Stop()
{
    m_stop.Request();
    return m_threads.JoinAllButCaller();
}

void LocalFileDownloader::Report(int code, double value, const std::wstring& message)
{
    if (!m_stop.Requested()) {
        m_callback(code, value, message);
    }
}

unsigned LocalFileDownloader::RunThread(void* downloader)
{
    static_cast<LocalFileDownloader*>(downloader)->Run();
    return 0;
}

void LocalFileDownloader::OnCopied(std::int64_t copied, std::int64_t size)
{
    const std::uint64_t now = ::GetTickCount64();
    if (size <= 0 || copied > size || now - m_lastReportTick < 1000) {
        return;
    }
    m_lastReportTick = now;
    Report(DL_CODE_PROGRESS, static_cast<double>(copied) / static_cast<double>(size), L"");
}

DWORD LocalFileDownloader::Copy(const std::wstring& partPath, std::string& digest)
{
    // Shared for reading only: nobody changes it while it is copied.
    Utils::UniqueFileHandle source(::CreateFileW(
        m_source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size {};
    if (!source || !::GetFileSizeEx(source.get(), &size)) {
        return ::GetLastError();
    }
    if (const std::wstring problem = RoomProblem(m_rules, size.QuadPart, size.QuadPart, FreeBytesFor(partPath));
        !problem.empty()) {
        LOG(L"download refused: %s\r\n", problem.c_str());
        return ERROR_FILE_TOO_LARGE;
    }
    // Held without write or delete sharing until it is sealed, as a download's part file.
    Utils::UniqueFileHandle part(::CreateFileW(partPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!part) {
        return ::GetLastError();
    }
    Utils::Md5Stream md5;
    const DWORD copied = Utils::CopyFileContent(source.get(), part.get(), &md5, [&](std::int64_t done) {
        OnCopied(done, size.QuadPart);
        return !m_stop.Requested();
    });
    LARGE_INTEGER written {};
    if (copied != ERROR_SUCCESS) {
        return copied;
    }
    if (!::GetFileSizeEx(part.get(), &written) || written.QuadPart != size.QuadPart) {
        return ERROR_HANDLE_EOF;
    }
    m_writtenStamp = Utils::SealFileStamp(part.get());
    digest = md5.Finish();
    return ERROR_SUCCESS;
}

// Nothing may touch the object after the terminal report: the owner may start the next run
// from inside it.
void LocalFileDownloader::Run()
{
    Report(DL_CODE_START, 1.0, L"");
    if (m_localPath.empty()) {
        Report(DL_CODE_FAIL, 1.0, L"");
        return;
    }
    LOG(L"the package is read from the file '%s', not downloaded\r\n", m_source.c_str());
    m_writtenStamp = {};
    const std::wstring partPath = m_localPath + L".part";
    std::string digest;
    DWORD error = Copy(partPath, digest);
    if (error == ERROR_SUCCESS && !ReplaceLocalFile(partPath, m_localPath)) {
        error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS || m_stop.Requested()) {
        RemoveLocalFile(partPath);
        if (m_stop.Requested()) {
            return;
        }
        LOG(L"the package could not be read from '%s', error %lu\r\n", m_source.c_str(), error);
        // A share may answer the second time; a package past its bounds never fits.
        const VerdictEvent event = error == ERROR_FILE_TOO_LARGE
            ? VerdictEvent { DL_CODE_FAIL, static_cast<double>(kBodyOverBound), kLocalFileMessage }
            : m_verdict.RetryOnce(static_cast<double>(error));
        Report(event.code, event.value, event.message);
        return;
    }
    const Verdict verdict = m_verdict.Judge(
        std::wstring_view(AsAddress(m_source)), [&digest] { return digest; }, m_localPath);
    DeliverVerdict(verdict, m_localPath, m_checkedDigest, m_deliveredName,
        [this](const VerdictEvent& event) { Report(event.code, event.value, event.message); });
}
