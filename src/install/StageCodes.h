#pragma once

// Events of the package run.
enum InstallerCode : int {
    IST_CODE_START = 2001,
    IST_CODE_PROGRESS = 2002,
    IST_CODE_SUCCESS = 2003,
    IST_CODE_FAIL = 2004,
};

// The failure code (progress argument) of IST_CODE_FAIL and UNIST_CODE_FAIL when the child
// did not end within the package time limit: it and every process it started were ended.
inline constexpr int kFailTimedOut = 4;
// The failure code of IST_CODE_FAIL and UNIST_CODE_FAIL when the child was not started
// because the product kept running past the wait for it.
inline constexpr int kFailProductRunning = 5;
// The failure code of UNIST_CODE_FAIL when the uninstaller's copy failed its signature check
// (it was deleted, not run); the pipeline hands that failure on with
// StageCause::SignatureRefused.
inline constexpr int kFailSignatureRefused = 6;

// Information the package reports through its output lines.
enum InstallerInfoCode : int {
    IST_CODE_INST_PATH = 3000,
    IST_CODE_EXE_PATH = 3001,
    // "UninstExePath=" and "UninstExe=" lines; passed on, read by nobody (the record takes the
    // uninstaller from IST_CODE_UNINST_EP).
    IST_CODE_UNINST_EXE = 3002,
    IST_CODE_UNINST_EP = 3003,
    IST_CODE_START_URL = 3004,
    IST_CODE_STARTUP_STYLE = 3005,
    IST_CODE_TOP_SHOW_DETENTION = 3007,
    IST_CODE_FINISH_CLOSE_DETENTION = 3008,
    IST_CODE_MESSAGE = 3009,
    // "InstallVersion=": the version text as given (trimmed).
    IST_CODE_INSTALL_VERSION = 3010,
    // "Restart=Required", or status 3010 without a verdict: the computer must restart.
    IST_CODE_RESTART_REQUIRED = 3011,
    // The package has ended. The installer stage raises it with the exit status in the
    // progress argument; the pipeline hands it on with the status in StageEvent::exitStatus
    // and progress 0.
    IST_CODE_EXIT_STATUS = 3012,
};

// Events of the removal of an older version.
enum UninstallerCode : int {
    // Of the family, but raised by nothing: a removal begins with UNIST_CODE_PROGRESS. The
    // pipeline only logs it, should one arrive.
    UNIST_CODE_START = 5001,
    UNIST_CODE_PROGRESS = 5002,
    UNIST_CODE_SUCCESS = 5003,
    UNIST_CODE_FAIL = 5004,
    UNIST_CODE_ERROR = 5005,
    // A removal without an install ("-uninstall=true"): the uninstaller has ended, having
    // reported success and no failure. The pipeline raises it.
    UNIST_CODE_REMOVED = 5006,
};

// Events of an offline layout ("-layout="), raised by the pipeline once the checked package
// is written into the layout (the message: where), or could not be (the message: the folder).
enum LayoutCode : int {
    LAYOUT_CODE_WRITTEN = 6001,
    LAYOUT_CODE_FAIL = 6002,
};

// The progress argument of a failure (2004 or 5005) of a child that ended without a verdict
// line and with a status other than 0; the message names the status.
inline constexpr double kFailedExitStatus = 3.0;
