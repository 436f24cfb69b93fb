#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "config/RunSettings.h"
#include "install/StageEvent.h"
#include "pipeline/StagePipeline.h"
#include "session/InstallProgress.h"
#include "session/InstallRecord.h"
#include "session/InstallVerdict.h"
#include "session/StageFacts.h"

namespace Session {

// What one installation is asked to do.
struct InstallRequest {
    std::wstring folder;
    bool desktopShortcut = true;
    bool quickLaunch = true;
    std::wstring language; // for the package's "-inslang"; empty: none
};

// What the package reported about itself; kept for the session's life, so a retried install
// keeps the values of an earlier attempt it does not repeat.
struct PackageReports {
    std::wstring exePath;
    std::wstring uninstaller;
    std::wstring startUrl;
    StageFact::Startup startup = StageFact::Startup::Never;
    DWORD topShowDelay = 3000;
    DWORD autoCloseDelay = 0xFFFFFFFF;
    std::wstring installVersion; // "InstallVersion=" as given; empty: none reported
    bool restartRequired = false;
    std::optional<DWORD> packageExitStatus; // absent until the package has ended
};

// How a session shows what happens, and how it hears the answers: a face only shows and
// answers, and every answer reaches the run as a posted intent (SessionRun::Post), never as
// a call back into the session while it is telling the face something. Called on the
// session's thread; none of these may wait for the user (a prompt is shown later, from
// the face's own loop).
class InstallFace {
public:
    virtual ~InstallFace() = default;
    virtual void DownloadStarted() { }
    virtual void ShowProgress(int /*percent*/) { }
    // The package (or the old version's removal) waits for the product to exit.
    virtual void WaitingForProduct(bool /*waiting*/) { }
    virtual void ShowPackageMessage(const std::wstring& text) = 0;
    // The checks refused what the face asked for (Install or Remove); nothing was started.
    virtual void Refused(const Outcome& /*refusal*/) { }
    // The plan is ready: the face answers with Intent::Apply or Intent::Cancel.
    virtual void Confirm() = 0;
    // The plan is being applied.
    virtual void Started() { }
    // The installation has its verdict and the session has done all it does for it (the
    // records, the product started); the package or old uninstaller may still be ending,
    // and the run waits for it whatever the face does.
    virtual void Concluded(const Outcome& outcome) = 0;
};

// The decisions of one installation, for the window and quiet mode alike: the checks before
// it, whether the old version is removed, the wait for the product, the stages and what each
// report means for the installation, the records on success, the verdict and what is started
// for the user. It lives on one thread; the stages' events reach it through OnStageReport,
// which its owner (SessionRun) calls on that thread with what the post callback carried over.
class InstallSession {
public:
    enum class State { Idle, Prepared, Acquiring, Removing, Installing, Concluded };

    // post: called on the stages' threads with every event; it is carried to the session's
    // thread and handed to OnStageReport. pipeline: the stages (none: the download-and-
    // install pipeline, made with post).
    InstallSession(const Config::RunSettings& settings, StageEventSink post,
        std::unique_ptr<Pipeline::StagePipeline> pipeline = nullptr);
    // Stops the stages and waits for them.
    ~InstallSession();
    InstallSession(const InstallSession&) = delete;
    InstallSession& operator=(const InstallSession&) = delete;

    // The face that shows the run; nullptr: none any more (the run goes on unseen).
    void SetFace(InstallFace* face) noexcept;
    // The face in use, or one that shows nothing.
    InstallFace& Face() noexcept { return *m_face; }

    const Config::RunSettings& Settings() const noexcept { return m_settings; }
    const ExistingInstallation& Existing() const noexcept { return m_existing; }
    // "-insnew": an updater started us; its installation is updated without asking.
    bool AsksAboutExistingInstallation() const noexcept { return !m_settings.insNew; }
    // The default folder; unattended runs never default into a system profile.
    std::wstring DefaultFolder(bool unattended = false);
    // The folder of an install that asks nothing (quiet mode): "-installdir=", else the
    // existing installation's folder, else the unattended default.
    std::wstring OneClickFolder();
    // The first language of both faces (an index of the language table): the "-language"
    // option or the system's language, unless the earlier installation recorded one.
    int InitialLanguage() const;

    // What an unattended run refuses to go on with: an unknown option, an inexact value, an
    // unusable "-installdir=", "-proxy=" or signer pin. A window run leaves them to the
    // download.
    std::optional<Outcome> CheckUnattendedSettings() const;
    // The existing-installation prompt's own check.
    std::optional<Outcome> RefuseWhileProductRuns() const;
    // The checks before an install, in order: an old uninstaller or the product running,
    // the folder, 1 GiB free. A refusal, or nothing when the request is ready for Start.
    std::optional<Outcome> Prepare(const InstallRequest& request);
    // "-uninstall=true", the checks before a removal: an installation to remove (in the
    // account's record, else the machine's), no old uninstaller and no product running. A
    // refusal, or nothing when the removal is ready for Start.
    std::optional<Outcome> PrepareRemoval();
    // "-layout=", the checks before a layout: its folder made and written to (a refusal is
    // the option's: InvalidValue). Then the plan: the package fetched and held to the checks
    // of an install (the version floor of an installation recorded here too), then written
    // into the layout; nothing is removed, run or recorded.
    std::optional<Outcome> PrepareLayout();
    // Starts the prepared installation, removal or layout; its events follow through the post
    // callback.
    void Start();
    // Final: stops and joins every stage; no report follows and nothing is recorded.
    void Stop();
    // True when no package or old uninstaller runs any more.
    bool ChildRunsEnded() const;

    // The finish button: starts the product (and its page) when the package asked for that.
    void FinishButtonPressed();
    // The existing-installation prompt's "open the product".
    void OpenExistingProduct();
    // The terms page.
    void OpenTerms();

    void OnStageReport(const StageEvent& event);

    // The run ends with this outcome without a verdict of the session's own: quiet mode's
    // refusal by a check, the system's stop of an install.
    void EndWith(const Outcome& outcome) { m_lastOutcome = outcome; }
    // How the run has ended so far: the last verdict, else what it ended with (EndWith);
    // nothing before either (a window closed before an install).
    const std::optional<Outcome>& LastOutcome() const noexcept { return m_lastOutcome; }

    State CurrentState() const noexcept { return m_state; }
    bool Running() const noexcept;
    const std::wstring& Folder() const noexcept { return m_folder; }
    const PackageReports& Reports() const noexcept { return m_reports; }
    // The program to start: the reported one, else the product in the install folder.
    std::wstring ProductExe() const;
    // The record this run writes: the existing installation's, wherever it was found (an
    // update never makes a second copy), else the run's own scope.
    Config::InstallScope RecordScope() const noexcept;

private:
    void Conclude(Outcome outcome);
    // The package's source and the floor it is held to, for an install and a layout alike.
    void PlanPackage(Pipeline::InstallPlan& plan) const;
    // The folder of the machine-wide installation this run changes; empty: none.
    std::wstring MachineInstallationFolder() const;
    // A program's process in our Windows session, or in another one running from the
    // machine-wide installation's folder.
    DWORD FindRunning(const wchar_t* program) const;
    // The records of a verdict: the installation's (Installed), or their removal (Removed).
    void UpdateRecords(Verdict verdict);
    // The product and its start page, as the package reported them.
    void LaunchProduct();
    // The last verdict installed with a restart to come: the product is not started before it.
    bool RestartPending() const noexcept;

    // Every step runs on the thread that made the session; a call from another is refused.
    bool OnOwnThread(const wchar_t* what) const;

    const Config::RunSettings m_settings;
    const DWORD m_thread = ::GetCurrentThreadId();
    InstallFace* m_face = nullptr;
    ExistingInstallation m_existing;
    const bool m_systemAccount;
    State m_state = State::Idle;
    std::wstring m_folder;
    bool m_removes = false;
    bool m_removalOnly = false; // "-uninstall=true": the existing installation goes, nothing comes
    PackageReports m_reports;
    std::optional<Outcome> m_lastOutcome;
    InstallProgress m_progress;
    std::unique_ptr<Pipeline::StagePipeline> m_pipeline;
};

} // namespace Session
