#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/RunSettings.h"
#include "pipeline/StagePipeline.h"
#include "session/SessionRun.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "utils/UniqueResource.h"

namespace SessionTest {

// The run's stand-in face: asks first, confirms (or declines) the plan, keeps what it is
// shown, and is done at a verdict or a refusal, or after 20 s. `between` runs in its loop
// between message batches, for a test that acts while the run goes on.
class RecordingFace final : public Session::RunFace, public Session::InstallFace {
public:
    explicit RecordingFace(Session::Intent first = { Session::Intent::Kind::Install }, bool confirms = true)
        : m_first(std::move(first))
        , m_confirms(confirms)
    {
    }
    Session::InstallFace& Shows() override { return *this; }
    void Run(Session::SessionRun& run) override;

    void WaitingForProduct(bool waiting) override { waits.push_back(waiting); }
    void ShowPackageMessage(const std::wstring& text) override { messages.push_back(text); }
    void Refused(const Session::Outcome& refusal) override { this->refusal = refusal.verdict; }
    void Confirm() override;
    void Started() override { started = true; }
    void Concluded(const Session::Outcome& outcome) override { verdict = outcome.verdict; }

    std::function<void()> between;
    std::optional<Session::Verdict> refusal;
    std::optional<Session::Verdict> verdict;
    bool started = false;
    std::vector<bool> waits;
    std::vector<std::wstring> messages;

private:
    Session::Intent m_first;
    bool m_confirms;
    Session::SessionRun* m_run = nullptr;
};

// The stages' stand-in: keeps the plans it is given, and at each start sends the test's
// events through the run's sink, as the stages' threads would.
struct StandInStages {
    std::vector<Pipeline::InstallPlan> plans;
    int starts = 0;
    std::vector<StageEvent> events;
    StageEventSink sink;
    // For SessionRun's constructor.
    Session::SessionRun::PipelineMaker Maker();
};

// Deletes the product's key from the account's record and the machine's.
void DeleteRecords();

// A clean machine (no recorded installation), a package server that serves the scripted
// child as the package, and a folder for the install and the children's traces.
class SessionFixture {
public:
    SessionFixture();
    ~SessionFixture();

    // Settings for a run against the server, children bounded by 20 s.
    Config::RunSettings Settings() const;
    // The package's script, found beside it once it is in the install folder.
    void SetPackageScript(const std::string& script) const;
    // A recorded installation in "old version" whose uninstaller plays script.
    std::wstring MakeOldVersion(const std::string& script) const;
    std::wstring InstallFolder() const { return m_root / L"install"; }
    std::wstring Trace(const wchar_t* name) const { return m_root / name; }
    static std::string Utf8(const std::wstring& text);

    // Pumps until done() or timeoutMs; true when done() came true.
    static bool PumpUntil(Session::SessionRun& run, const std::function<bool()>& done, DWORD timeoutMs);

    TestSupport::HttpTestServer server;

private:
    TestSupport::TempDir m_root { L"session" };
};

// A program named Quorvel.exe of this session that runs until it is ended.
class RunningProduct {
public:
    explicit RunningProduct(const std::wstring& folder);
    ~RunningProduct();
    bool Running() const { return static_cast<bool>(m_process); }
    void End();

private:
    Utils::UniqueHandle m_process;
};

} // namespace SessionTest
