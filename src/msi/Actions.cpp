// The custom actions of the MSI package: it installs the installer into Program Files and runs it
// quietly for the machine; its removal runs the installer's removal. Entry points of
// VellumoraMsiActions.dll, named in src/msi/Vellumora.wxs.in.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <shellapi.h>

#include <string>

#include "msi/MsiSession.h"
#include "msi/StubArguments.h"
#include "msi/StubLog.h"
#include "msi/StubOutcome.h"
#include "msi/StubProcess.h"
#include "utils/UniqueResource.h"

namespace {

// The deferred actions and the properties that carry their data: the same names.
constexpr wchar_t kInstallAction[] = L"RunStubInstall";
constexpr wchar_t kRemoveAction[] = L"RunStubRemove";

// The option names of an argument list, for the MSI log: values may hold a proxy password or a
// signed address.
std::wstring OptionNames(const std::wstring& arguments)
{
    int count = 0;
    const Utils::UniqueLocalMem list(::CommandLineToArgvW((L"x " + arguments).c_str(), &count));
    const auto* argv = static_cast<wchar_t**>(list.get());
    std::wstring names;
    for (int i = 1; argv && i < count; ++i) {
        const std::wstring argument = argv[i];
        names += (names.empty() ? L"" : L" ") + argument.substr(0, argument.find(L'='));
    }
    return names;
}

UINT Prepare(MSIHANDLE install)
{
    const Msi::MsiSession session(install);
    const std::wstring stub = session.Format(L"[#StubExe]");
    const auto property = [&](const wchar_t* name) {
        return session.Property(name);
    };
    const Msi::StubArguments installArgs = BuildStubArguments(Msi::StubAction::Install, property);
    const Msi::StubArguments removeArgs = BuildStubArguments(Msi::StubAction::Remove, property);
    for (const Msi::StubArguments* args : { &installArgs, &removeArgs }) {
        if (!args->ok) {
            session.Log(L"the property " + args->refusedProperty
                + L" holds a control character (a line break, a tab) and is not passed on; nothing is done");
            return ERROR_INSTALL_FAILURE;
        }
    }
    if (stub.empty()) {
        session.Log(L"the installer's installed path is not known");
        return ERROR_INSTALL_FAILURE;
    }
    const std::wstring log = session.Property(L"LOG");
    const bool set = session.SetProperty(kInstallAction, Msi::EncodeActionData({ stub, log, installArgs.arguments }))
        && session.SetProperty(kRemoveAction, Msi::EncodeActionData({ stub, log, removeArgs.arguments }));
    return set ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
}

UINT Run(MSIHANDLE install, Msi::StubAction action)
{
    const Msi::MsiSession session(install);
    Msi::ActionData data;
    if (!Msi::DecodeActionData(session.Property(L"CustomActionData"), data)) {
        session.Log(L"the action's data is not what the package's first action prepared; nothing is done");
        return ERROR_INSTALL_FAILURE;
    }
    session.Log(L"running " + data.stubPath + L" with " + OptionNames(data.arguments));
    const Msi::StubRun run = Msi::RunStub(data.stubPath, data.arguments);
    if (!run.started) {
        session.Log(data.stubPath + L" could not be started (error " + std::to_wstring(run.error) + L")");
        return ERROR_INSTALL_FAILURE;
    }
    const Msi::StubOutcome outcome = Msi::MapStubExit(action, run.exitCode);
    const std::wstring folder = data.stubPath.substr(0, data.stubPath.find_last_of(L'\\'));
    const std::wstring log = Msi::StubLogPath(data.logOption, folder, run.pid);
    session.Log(L"the installer ended with exit code " + std::to_wstring(static_cast<int>(run.exitCode)) + L" ("
        + outcome.meaning + L"); its log: " + (log.empty() ? L"none found" : log));
    if (outcome.restart) {
        session.RequestRestart();
    }
    return outcome.result;
}

// No exception leaves the DLL: Windows Installer sees a failure instead.
template <typename Action> UINT Guarded(Action action)
{
    try {
        return action();
    } catch (...) {
        return ERROR_INSTALL_FAILURE;
    }
}

} // namespace

extern "C" {

// Immediate, before the script: the deferred actions' data from the public properties.
__declspec(dllexport) UINT __stdcall PrepareStubRun(MSIHANDLE install)
{
    return Guarded([&] { return Prepare(install); });
}

// Deferred, as the system, once the installer is in its folder.
__declspec(dllexport) UINT __stdcall RunStubInstall(MSIHANDLE install)
{
    return Guarded([&] { return Run(install, Msi::StubAction::Install); });
}

// Deferred, as the system, before the installer's file goes.
__declspec(dllexport) UINT __stdcall RunStubRemove(MSIHANDLE install)
{
    return Guarded([&] { return Run(install, Msi::StubAction::Remove); });
}

} // extern "C"
