#include "msi/StubOutcome.h"

#include "config/ExitCodes.h"

namespace Msi {

namespace {

namespace Code = Config::ExitCode;

const wchar_t* Meaning(DWORD code)
{
    switch (static_cast<int>(code)) {
    case Code::kInstalled:
        return L"done";
    case Code::kAnotherCopyRunning:
        return L"another copy of the installer is running";
    case Code::kInternalFailure:
        return L"the installer itself failed";
    case Code::kInvalidValue:
        return L"an option or setting cannot be used";
    case Code::kInvalidFolder:
        return L"the install folder cannot be used";
    case Code::kLowDiskSpace:
        return L"less than 1 GB free";
    case Code::kProductRunning:
        return L"the product is running";
    case Code::kRemovalFailed:
        return L"the removal failed";
    case Code::kDownloadFailed:
        return L"the download failed";
    case Code::kSignatureRefused:
        return L"the package's signature was refused";
    case Code::kPackageFailed:
        return L"the package failed";
    case Code::kStoppedBySystem:
        return L"stopped by the system";
    case Code::kPackageTimedOut:
        return L"the package did not finish in time";
    case Code::kNothingInstalled:
        return L"nothing was installed";
    case Code::kDowngradeRefused:
        return L"the package is older than the installed version";
    case Code::kRestartRequired:
        return L"done; the computer must restart";
    default:
        return L"an exit code this version does not know";
    }
}

} // namespace

StubOutcome MapStubExit(StubAction action, DWORD exitCode)
{
    const int code = static_cast<int>(exitCode);
    if (code == Code::kInstalled || (action == StubAction::Remove && code == Code::kNothingInstalled)) {
        return { ERROR_SUCCESS, false, Meaning(exitCode) };
    }
    if (code == Code::kRestartRequired) {
        return { ERROR_SUCCESS, true, Meaning(exitCode) };
    }
    return { ERROR_INSTALL_FAILURE, false, Meaning(exitCode) };
}

} // namespace Msi
