#pragma once

#include <windows.h>

#include <string>

#include "install/StageEvent.h"
#include "session/InstallVerdict.h"

namespace Session {

// What one stage event means for the installation, read once: every code, progress value and
// cause the stages send becomes one of these, and nothing past the decoder reads a code.
struct StageFact {
    enum class Kind {
        None, // an event the session does nothing with (1003 of an update, 1006, 3002, unknown codes)
        DownloadStarted,
        DownloadDone, // the package is held and checked
        Progress, // percent: the bar's place for the stage's fraction
        ProductWait, // waiting: the package or the old uninstaller waits for the product to exit
        PackageStarted,
        Verdict, // verdict, text: how the installation (or removal) ended
        InstallFolder, // text: where the package says it installed
        ProductProgram, // text
        Uninstaller, // text
        StartPage, // text
        InstallVersion, // text, as given
        StartupStyle, // style
        TopShowDelay, // delayMs
        AutoCloseDelay, // delayMs
        PackageMessage, // text, to be shown as the package wrote it
        RestartRequired,
        PackageExitStatus, // exitStatus
    };
    // Which stage a progress report belongs to.
    enum class Stage { Download, Removal, Package };
    // What the package asked to be done with its product at the end.
    enum class Startup { Never = 0, AtOnce = 1, FromFinishButton = 2 };

    Kind kind = Kind::None;
    Stage stage = Stage::Download;
    double fraction = 0.0;
    bool waiting = false;
    Verdict verdict = Verdict::Installed;
    std::wstring text;
    Startup startup = Startup::Never;
    DWORD delayMs = 0;
    DWORD exitStatus = 0;
};

// removalOnly: the run removes and installs nothing ("-uninstall=true"), so the uninstaller's
// signature refusal is the run's own verdict rather than a failed update.
StageFact DecodeStageEvent(const StageEvent& event, bool removalOnly);

// The session's own report beside the stages' events: progress 1 when the wait for the
// product begins, 0 when it ends.
inline constexpr int kProductWaitReport = 9001;

} // namespace Session

// Converts a reported delay in milliseconds as the platform's integer conversion would
// (-1 stays 4294967295), without undefined behaviour for values out of range.
DWORD DelayFromReport(double value);
