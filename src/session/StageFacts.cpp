#include "session/StageFacts.h"

#include <cmath>

#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "session/InstallRecord.h"

namespace Session {
namespace {

StageFact Fact(StageFact::Kind kind)
{
    StageFact fact;
    fact.kind = kind;
    return fact;
}

StageFact VerdictFact(Verdict verdict, std::wstring text = {})
{
    StageFact fact = Fact(StageFact::Kind::Verdict);
    fact.verdict = verdict;
    fact.text = std::move(text);
    return fact;
}

StageFact ProgressFact(StageFact::Stage stage, double fraction)
{
    StageFact fact = Fact(StageFact::Kind::Progress);
    fact.stage = stage;
    fact.fraction = fraction;
    return fact;
}

StageFact TextFact(StageFact::Kind kind, std::wstring text)
{
    StageFact fact = Fact(kind);
    fact.text = std::move(text);
    return fact;
}

StageFact DelayFact(StageFact::Kind kind, double value)
{
    StageFact fact = Fact(kind);
    fact.delayMs = DelayFromReport(value);
    return fact;
}

// The package's style as the integer part of the value; anything else never starts it.
StageFact::Startup StartupOf(double value)
{
    if (!std::isfinite(value) || std::fabs(value) >= 2147483647.0) {
        return StageFact::Startup::Never;
    }
    switch (static_cast<int>(value)) {
    case 1:
        return StageFact::Startup::AtOnce;
    case 2:
        return StageFact::Startup::FromFinishButton;
    default:
        return StageFact::Startup::Never;
    }
}

} // namespace

StageFact DecodeStageEvent(const StageEvent& event, bool removalOnly)
{
    const int failure = std::isfinite(event.progress) ? static_cast<int>(event.progress) : 0;
    switch (event.code) {
    case Download::DL_CODE_START:
        return Fact(StageFact::Kind::DownloadStarted);
    case Download::DL_CODE_PROGRESS:
        return ProgressFact(StageFact::Stage::Download, event.progress);
    case Download::DL_CODE_SUCCESS:
        return Fact(StageFact::Kind::DownloadDone);
    case Download::DL_CODE_FAIL:
        switch (event.cause) {
        case StageCause::SignatureRefused:
            return VerdictFact(Verdict::SignatureRefused, event.message);
        case StageCause::DowngradeRefused:
            return VerdictFact(Verdict::DowngradeRefused, event.message);
        case StageCause::None:
            break;
        }
        return VerdictFact(Verdict::DownloadFailed, event.message);
    case UNIST_CODE_PROGRESS:
        return ProgressFact(StageFact::Stage::Removal, event.progress);
    case UNIST_CODE_FAIL:
    case UNIST_CODE_ERROR:
        if (event.code == UNIST_CODE_FAIL && failure == kFailProductRunning) {
            return VerdictFact(Verdict::ProductRunning);
        }
        // When removing is all the run does, the refusal is its verdict; an update keeps
        // calling it a failed removal.
        if (removalOnly && event.cause == StageCause::SignatureRefused) {
            return VerdictFact(Verdict::SignatureRefused, event.message);
        }
        return VerdictFact(Verdict::RemovalFailed, event.message);
    case UNIST_CODE_REMOVED:
        return VerdictFact(Verdict::Removed);
    case LAYOUT_CODE_WRITTEN:
        return VerdictFact(Verdict::LayoutWritten, event.message);
    case LAYOUT_CODE_FAIL:
        // As a folder refused before the download: the option's value cannot be used.
        return VerdictFact(Verdict::InvalidValue, event.message);
    case IST_CODE_START:
        return Fact(StageFact::Kind::PackageStarted);
    case IST_CODE_PROGRESS:
        return ProgressFact(StageFact::Stage::Package, event.progress);
    case IST_CODE_SUCCESS:
        return VerdictFact(Verdict::Installed);
    case IST_CODE_FAIL:
        if (failure == kFailProductRunning) {
            return VerdictFact(Verdict::ProductRunning);
        }
        return VerdictFact(failure == kFailTimedOut ? Verdict::PackageTimedOut : Verdict::PackageFailed, event.message);
    case kProductWaitReport: {
        StageFact fact = Fact(StageFact::Kind::ProductWait);
        fact.waiting = event.progress != 0.0;
        return fact;
    }
    case IST_CODE_INST_PATH:
        // An empty report would record nothing and put set.ini at the drive's root.
        return ReportedPathValue(event.message).empty()
            ? Fact(StageFact::Kind::None)
            : TextFact(StageFact::Kind::InstallFolder, ReportedPathValue(event.message));
    case IST_CODE_EXE_PATH:
        return TextFact(StageFact::Kind::ProductProgram, ReportedPathValue(event.message));
    case IST_CODE_UNINST_EP:
        return TextFact(StageFact::Kind::Uninstaller, ReportedPathValue(event.message));
    case IST_CODE_INSTALL_VERSION:
        return TextFact(StageFact::Kind::InstallVersion, event.message);
    case IST_CODE_START_URL:
        return TextFact(StageFact::Kind::StartPage, ReportedPathValue(event.message));
    case IST_CODE_STARTUP_STYLE: {
        StageFact fact = Fact(StageFact::Kind::StartupStyle);
        fact.startup = StartupOf(event.progress);
        return fact;
    }
    case IST_CODE_TOP_SHOW_DETENTION:
        return DelayFact(StageFact::Kind::TopShowDelay, event.progress);
    case IST_CODE_FINISH_CLOSE_DETENTION:
        return DelayFact(StageFact::Kind::AutoCloseDelay, event.progress);
    case IST_CODE_MESSAGE:
        return TextFact(StageFact::Kind::PackageMessage, event.message);
    case IST_CODE_RESTART_REQUIRED:
        return Fact(StageFact::Kind::RestartRequired);
    case IST_CODE_EXIT_STATUS:
        if (event.exitStatus) {
            StageFact fact = Fact(StageFact::Kind::PackageExitStatus);
            fact.exitStatus = *event.exitStatus;
            return fact;
        }
        return Fact(StageFact::Kind::None);
    default:
        // 1006 (a downloader's message), 3002 (the uninstaller's name, which the record
        // takes from 3003), 5001, 5003 (a success line: the pipeline waits for the end), and
        // codes no stage sends.
        return Fact(StageFact::Kind::None);
    }
}

} // namespace Session

DWORD DelayFromReport(double value)
{
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 4294967295.0) {
        return 0xFFFFFFFF;
    }
    if (value <= -2147483648.0) {
        return 0x80000000;
    }
    // Negative values wrap as an integer conversion would: -1 means "never".
    return value < 0 ? static_cast<DWORD>(static_cast<long long>(value)) : static_cast<DWORD>(value);
}
