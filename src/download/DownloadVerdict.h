#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace Download {

// The words one downloader reports its verdict in.
struct VerdictTexts {
    std::wstring mismatch; // 1006: the file's MD5 is not the one its address carries
    std::wstring noDigest; // 1006: the final address carries no MD5
    std::wstring result; // the message of 1003, 1004 and 1005
};

struct VerdictEvent {
    int code = 0;
    double value = 0.0;
    std::wstring message;
};

// What a downloader does once its transfer has delivered the whole file.
struct Verdict {
    bool discardFile = false; // the file failed its check: it goes before any report
    std::string checkedDigest; // for CDownloader::CheckedDigest, "" when nothing was checked
    std::wstring fileName; // for CDownloader::DeliveredName: the final address's file name, or ""
    std::vector<VerdictEvent> events; // reported in order; the last one ends the run
};

// The check of a delivered file against the MD5 in its final address, and the one retry
// an object may ask its owner for, whatever its cause.
class DownloadVerdict {
public:
    // acceptWithoutDigest: a package whose final address carries no MD5 is handed on (its
    // signer is checked later, or the settings trust the network); else it is refused.
    DownloadVerdict(VerdictTexts texts, bool acceptWithoutDigest);

    // takenDigest gives the file's MD5 as taken on the way, "" when it was not; it is asked
    // only when the address carries a digest, and the file is hashed only when it gives "".
    Verdict Judge(
        std::string_view finalUrl, const std::function<std::string()>& takenDigest, const std::wstring& localPath);
    Verdict Judge(
        std::wstring_view finalUrl, const std::function<std::string()>& takenDigest, const std::wstring& localPath);

    // A run that ended without a usable file: 1005 the first time in the object's life, 1004
    // after that, with value.
    VerdictEvent RetryOnce(double value);

private:
    // What a package whose final address carries no digest comes to: decided here alone.
    Verdict WithoutDigest() const;

    VerdictTexts m_texts;
    bool m_acceptWithoutDigest;
    bool m_retried = false;
};

// Drops a file that failed its check, then hands the checked digest and the file's name on
// and reports the events in order. Touches nothing after the last report: the owner may start
// the next run from inside it.
void DeliverVerdict(const Verdict& verdict, const std::wstring& localPath, std::string& checkedDigest,
    std::wstring& fileName, const std::function<void(const VerdictEvent&)>& report);

} // namespace Download
