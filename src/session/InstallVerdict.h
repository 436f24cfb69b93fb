#pragma once

#include <optional>
#include <string>

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
    DowngradeRefused, // the package is older than the installed version
    PackageFailed,
    PackageTimedOut, // the package's time limit passed; it and its processes were ended
    StoppedBySystem, // shutdown or logoff
    Removed, // "-uninstall=true": the uninstaller removed it, and its record is gone
    NothingInstalled, // "-uninstall=true" found no installation in either record
    Cancelled, // the user answered no (a window run's removal question)
    LayoutWritten, // "-layout=": the checked package, the installer and its settings file are there
    // How a run ends before or beside any installation:
    AnotherCopyRunning, // a second copy found the first
    InternalFailure, // the run could not be set up (its hidden window), or it never came to a verdict
    Informed, // "-help", "-version": printed, nothing else done
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
    { Verdict::DowngradeRefused, Config::ExitCode::kDowngradeRefused, L"downgrade refused" },
    { Verdict::PackageFailed, Config::ExitCode::kPackageFailed, L"package failed" },
    { Verdict::PackageTimedOut, Config::ExitCode::kPackageTimedOut, L"package did not finish in time" },
    { Verdict::StoppedBySystem, Config::ExitCode::kStoppedBySystem, L"stopped by the system" },
    { Verdict::Removed, Config::ExitCode::kRemoved, L"removed" },
    { Verdict::NothingInstalled, Config::ExitCode::kNothingInstalled, L"nothing installed" },
    { Verdict::Cancelled, Config::ExitCode::kCancelledByUser, L"cancelled by the user" },
    { Verdict::LayoutWritten, Config::ExitCode::kInstalled, L"layout written" },
    { Verdict::AnotherCopyRunning, Config::ExitCode::kAnotherCopyRunning, L"another copy is running" },
    { Verdict::InternalFailure, Config::ExitCode::kInternalFailure, L"the installer failed" },
    { Verdict::Informed, Config::ExitCode::kInstalled, L"help or version shown" },
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

// The verdict with what a face needs to tell it.
struct Outcome {
    Verdict verdict = Verdict::Installed;
    // The failure event's message (the package's "Error=" text, an exit status), or the
    // refused folder.
    std::wstring message;
    // ProductRunning: it is an old version's uninstaller (or the previous attempt's package)
    // that runs, not the product.
    bool oldUninstallerRunning = false;
    // Installed: the package says the computer must restart before the product is used.
    bool restartRequired = false;
};

// The kinds of run: a window or not, an install or a removal; and an offline layout, which
// fetches and checks the package as an install does, writes it out and installs nothing.
enum class RunKind { WindowInstall, QuietInstall, WindowRemoval, QuietRemoval, Layout };

constexpr bool IsRemoval(RunKind kind)
{
    return kind == RunKind::WindowRemoval || kind == RunKind::QuietRemoval;
}

// The process's exit code for how a run ended, whatever its kind; nothing else picks one.
// An install with a window tells its user on screen and has always ended with 0; a quiet
// run or a removal tells its caller by the code. A run that never came to a verdict failed.
constexpr int RunExitCode(RunKind kind, const std::optional<Outcome>& outcome)
{
    if (!outcome) {
        return kind == RunKind::WindowInstall ? Config::ExitCode::kInstalled : Config::ExitCode::kInternalFailure;
    }
    switch (outcome->verdict) {
    case Verdict::AnotherCopyRunning:
    case Verdict::InternalFailure:
    case Verdict::Informed:
        return ExitCodeOf(outcome->verdict);
    default:
        break;
    }
    if (kind == RunKind::WindowInstall) {
        return Config::ExitCode::kInstalled;
    }
    if (outcome->verdict == Verdict::Installed && outcome->restartRequired) {
        return Config::ExitCode::kRestartRequired;
    }
    return ExitCodeOf(outcome->verdict);
}

} // namespace Session
