#pragma once

#include "config/ExitCodes.h"

namespace Session {

// How one installation (or removal) ended, or why it did not begin. Each verdict is one of
// quiet mode's exit codes, and only the successes share one (0); a new one is an enumerator
// here and a row in kVerdicts.
enum class Verdict {
    Installed,
    InvalidValue, // a setting or option an unattended run cannot use
    InvalidFolder,
    LowDiskSpace,
    ProductRunning, // the product or an old version's uninstaller runs
    RemovalFailed,
    DownloadFailed,
    SignatureRefused,
    PackageFailed,
    PackageTimedOut, // the package's time limit passed; it and its processes were ended
    StoppedBySystem, // shutdown or logoff
    Removed, // "-uninstall=true": the uninstaller removed it, and its record is gone
    NothingInstalled, // "-uninstall=true" found no installation in either record
    Cancelled, // the user answered no (a window run's removal question)
};

struct VerdictRow {
    Verdict verdict;
    int exitCode;
    const wchar_t* name; // for the log
};

inline constexpr VerdictRow kVerdicts[] = {
    { Verdict::Installed, Config::ExitCode::kInstalled, L"installed" },
    { Verdict::InvalidValue, Config::ExitCode::kInvalidValue, L"invalid value" },
    { Verdict::InvalidFolder, Config::ExitCode::kInvalidFolder, L"invalid folder" },
    { Verdict::LowDiskSpace, Config::ExitCode::kLowDiskSpace, L"low disk space" },
    { Verdict::ProductRunning, Config::ExitCode::kProductRunning, L"product running" },
    { Verdict::RemovalFailed, Config::ExitCode::kRemovalFailed, L"removal failed" },
    { Verdict::DownloadFailed, Config::ExitCode::kDownloadFailed, L"download failed" },
    { Verdict::SignatureRefused, Config::ExitCode::kSignatureRefused, L"signature refused" },
    { Verdict::PackageFailed, Config::ExitCode::kPackageFailed, L"package failed" },
    { Verdict::PackageTimedOut, Config::ExitCode::kPackageTimedOut, L"package did not finish in time" },
    { Verdict::StoppedBySystem, Config::ExitCode::kStoppedBySystem, L"stopped by the system" },
    { Verdict::Removed, Config::ExitCode::kRemoved, L"removed" },
    { Verdict::NothingInstalled, Config::ExitCode::kNothingInstalled, L"nothing installed" },
    { Verdict::Cancelled, Config::ExitCode::kCancelledByUser, L"cancelled by the user" },
};

constexpr const VerdictRow& RowOf(Verdict verdict)
{
    for (const VerdictRow& row : kVerdicts) {
        if (row.verdict == verdict) {
            return row;
        }
    }
    return kVerdicts[0]; // unreachable while every verdict has its row (a test checks)
}

constexpr int ExitCodeOf(Verdict verdict)
{
    return RowOf(verdict).exitCode;
}

} // namespace Session
