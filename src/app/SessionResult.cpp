#include "app/SessionResult.h"

#include "session/InstallSession.h"

namespace App {

RunResult SessionResult(const Session::InstallSession& session)
{
    RunResult result;
    if (const auto& outcome = session.LastOutcome()) {
        result.verdict = Session::RowOf(outcome->verdict).name;
        result.rebootRequired = outcome->restartRequired;
    }
    const Session::PackageReports& reports = session.Reports();
    if (!reports.installVersion.empty()) {
        result.version = reports.installVersion;
    }
    if (!session.Folder().empty()) {
        result.folder = session.Folder();
    }
    result.packageExitStatus = reports.packageExitStatus;
    // An update or removal is recorded where the installation was found, whatever the run's own scope.
    result.scope = Config::ScopeName(session.RecordScope());
    return result;
}

} // namespace App
