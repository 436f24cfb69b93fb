#include "download/DownloadVerdict.h"

#include <windows.h>

#include "config/PackageSource.h"
#include "download/Downloader.h"
#include "download/LocalFiles.h"
#include "download/UrlMd5.h"
#include "utils/Log.h"
#include "utils/Md5.h"
#include "utils/Text.h"

namespace Download {

DownloadVerdict::DownloadVerdict(VerdictTexts texts, bool acceptWithoutDigest)
    : m_texts(std::move(texts))
    , m_acceptWithoutDigest(acceptWithoutDigest)
{
}

Verdict DownloadVerdict::Judge(
    std::string_view finalUrl, const std::function<std::string()>& takenDigest, const std::wstring& localPath)
{
    const std::string expected = UrlMd5(finalUrl);
    if (expected.size() != kMd5Length) {
        Verdict verdict = WithoutDigest();
        verdict.fileName = Config::PackageFileName(Utils::MultiByteToWide(finalUrl, CP_UTF8));
        return verdict;
    }
    std::string actual = takenDigest();
    if (actual.empty()) {
        actual = Utils::FileMd5Wide(localPath);
    }
    Verdict verdict;
    if (actual != expected) { // a digest that could not be made is no match
        verdict.discardFile = true;
        verdict.events.push_back({ DL_CODE_MESSAGE, 0.0, m_texts.mismatch });
        verdict.events.push_back(RetryOnce(0.0));
        return verdict;
    }
    verdict.checkedDigest = expected;
    verdict.fileName = Config::PackageFileName(Utils::MultiByteToWide(finalUrl, CP_UTF8));
    verdict.events.push_back({ DL_CODE_SUCCESS, 0.0, m_texts.result });
    return verdict;
}

Verdict DownloadVerdict::Judge(
    std::wstring_view finalUrl, const std::function<std::string()>& takenDigest, const std::wstring& localPath)
{
    return Judge(std::string_view(Utils::WideToMultiByte(finalUrl, CP_UTF8)), takenDigest, localPath);
}

// The one place that decides a package whose address carries no digest. Unchecked, it would
// run elevated on the word of whoever can redirect a plain http request.
Verdict DownloadVerdict::WithoutDigest() const
{
    Verdict verdict;
    verdict.events.push_back({ DL_CODE_MESSAGE, 0.0, m_texts.noDigest });
    if (m_acceptWithoutDigest) {
        verdict.events.push_back({ DL_CODE_SUCCESS, 0.0, m_texts.result });
        return verdict;
    }
    LOG(L"package refused: its final address carries no MD5, no signer is pinned and AllowUnverifiedPackage "
        L"is off\r\n");
    verdict.discardFile = true;
    verdict.events.push_back({ DL_CODE_FAIL, 0.0, m_texts.result });
    return verdict;
}

VerdictEvent DownloadVerdict::RetryOnce(double value)
{
    if (m_retried) {
        return { DL_CODE_FAIL, value, m_texts.result };
    }
    m_retried = true;
    return { DL_CODE_RETRY, value, m_texts.result };
}

void DeliverVerdict(const Verdict& verdict, const std::wstring& localPath, std::string& checkedDigest,
    std::wstring& fileName, const std::function<void(const VerdictEvent&)>& report)
{
    if (verdict.discardFile) {
        // A file that failed its check must never pass for the package.
        RemoveLocalFile(localPath);
    }
    checkedDigest = verdict.checkedDigest;
    fileName = verdict.fileName;
    for (const VerdictEvent& event : verdict.events) {
        report(event);
    }
}

} // namespace Download
