#pragma once

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "install/StageCallback.h"
#include "install/StageEvent.h"
#include "support/TempDir.h"

void PrintTo(const StageEvent& event, std::ostream* os);

namespace InstallTest {

using StageEvent = ::StageEvent;

// Records the events of a stage (or of the pipeline, typed) from whatever thread raises them.
class EventLog {
public:
    StageCallback Callback();
    StageEventSink Sink();
    std::vector<StageEvent> Events() const;
    std::vector<StageEvent> WithCode(int code) const;
    // Waits up to timeoutMs for an event with code.
    bool WaitForCode(int code, DWORD timeoutMs) const;
    // Waits up to timeoutMs for this very event.
    bool WaitForEvent(const StageEvent& event, DWORD timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<StageEvent> m_events;
};

// A copy of the scripted child under a chosen name in a fresh folder whose name holds a
// space, with its script beside it.
class ScriptedChild {
public:
    explicit ScriptedChild(const std::wstring& exeName = L"__Package_Vellumora.exe");

    // Writes the script (UTF-8); a "cmdline" step naming CommandLineFile() goes first.
    void SetScript(const std::string& script);
    const std::wstring& Path() const noexcept { return m_path; }
    const std::wstring& Folder() const noexcept { return m_folder.Path(); }
    std::wstring CommandLineFile() const { return m_folder / L"cmdline.bin"; }
    // The command line the child saw; empty when it did not run.
    std::wstring RecordedCommandLine() const;

private:
    TestSupport::TempDir m_folder;
    std::wstring m_path;
};

// Runs work on a helper thread and fails the test (ending this test process) when it does
// not return within timeoutMs, so a hang never outlives its test.
void FinishWithin(DWORD timeoutMs, const std::function<void()>& work, const char* what);

// UTF-8 bytes of wide text, for scripts.
std::string Utf8(const std::wstring& text);

} // namespace InstallTest
