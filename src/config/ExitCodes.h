#pragma once

// What a quiet run tells whoever started it. Deployment tools key on these numbers: never
// renumber one, only add. Without quiet mode the installer exits 0 (or -1 as below).
namespace Config::ExitCode {

inline constexpr int kInstalled = 0;
inline constexpr int kAnotherCopyRunning = -1;
// The quiet run could not even be set up (its hidden window could not be made), or a system
// DLL the program needs could not be loaded from the system folder (with or without quiet mode).
inline constexpr int kInternalFailure = 1;
// An option or settings-file value that cannot be used (an "-installdir=" that is empty,
// relative or holds forbidden characters, a malformed "-proxy=", a malformed signer pin,
// an unknown option, a switch neither "true" nor "false", a "-log=" file that cannot be
// opened); nothing was done.
inline constexpr int kInvalidValue = 2;
inline constexpr int kInvalidFolder = 3;
inline constexpr int kLowDiskSpace = 4;
// The product or an old version's uninstaller is running (and "-insnew=true" was not given).
inline constexpr int kProductRunning = 5;
inline constexpr int kRemovalFailed = 6;
inline constexpr int kDownloadFailed = 7;
inline constexpr int kSignatureRefused = 8;
inline constexpr int kPackageFailed = 9;
// Shutdown or logoff ended the run; nothing was recorded.
inline constexpr int kStoppedBySystem = 10;
// The package did not finish within PackageTimeout: it and every process it started were
// ended; nothing was recorded.
inline constexpr int kPackageTimedOut = 11;
// "-uninstall=true" found no installation to remove (in the account's record or the machine's).
inline constexpr int kNothingInstalled = 12;
// The package is older than the installed version (its version resource against the recorded
// "InstallVersion") and "-allowdowngrade=true" was not given; nothing was removed or recorded.
inline constexpr int kDowngradeRefused = 13;
// Installed and recorded; the package says the computer must restart before the product is
// used (its status 3010 without a verdict, or "Restart=Required"). The usual number for it.
inline constexpr int kRestartRequired = 3010;
// "-uninstall=true": the uninstaller removed the installation and its record is gone.
inline constexpr int kRemoved = 0;
// A window run's "-uninstall=true": the user answered no; nothing was done. The usual number.
inline constexpr int kCancelledByUser = 1602;

} // namespace Config::ExitCode
