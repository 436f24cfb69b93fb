#include "StageHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <ostream>
#include <thread>

#include "support/ProcessRunner.h"
#include "utils/Text.h"

void PrintTo(const StageEvent& event, std::ostream* os)
{
    *os << "(" << event.code << ", " << event.progress << ", \"" << Utils::WideToMultiByte(event.message, CP_UTF8)
        << "\"";
    if (event.cause == StageCause::SignatureRefused) {
        *os << ", signature refused";
    }
    if (event.exitStatus) {
        *os << ", exit status " << *event.exitStatus;
    }
    *os << ")";
}

namespace InstallTest {

StageCallback EventLog::Callback()
{
    return [this](int code, double progress, const std::wstring& message) {
        Sink()(StageEvent { code, progress, message });
    };
}

StageEventSink EventLog::Sink()
{
    return [this](const StageEvent& event) {
        {
            std::lock_guard lock(m_mutex);
            m_events.push_back(event);
        }
        m_changed.notify_all();
    };
}

std::vector<StageEvent> EventLog::Events() const
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<StageEvent> EventLog::WithCode(int code) const
{
    std::vector<StageEvent> found;
    for (const StageEvent& event : Events()) {
        if (event.code == code) {
            found.push_back(event);
        }
    }
    return found;
}

bool EventLog::WaitForCode(int code, DWORD timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        for (const StageEvent& event : m_events) {
            if (event.code == code) {
                return true;
            }
        }
        return false;
    });
}

bool EventLog::WaitForEvent(const StageEvent& wanted, DWORD timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
        [&] { return std::find(m_events.begin(), m_events.end(), wanted) != m_events.end(); });
}

ScriptedChild::ScriptedChild(const std::wstring& exeName)
    : m_folder(L"vlm child")
    , m_path(m_folder / exeName)
{
    const std::wstring source = TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe";
    EXPECT_TRUE(::CopyFileW(source.c_str(), m_path.c_str(), FALSE)) << "copy of " << Utf8(source);
}

void ScriptedChild::SetScript(const std::string& script)
{
    const std::wstring stem = m_path.substr(0, m_path.find_last_of(L'.'));
    ASSERT_TRUE(TestSupport::WriteFileBytes(stem + L".script", "cmdline " + Utf8(CommandLineFile()) + "\n" + script));
}

std::wstring ScriptedChild::RecordedCommandLine() const
{
    const std::string bytes = TestSupport::ReadFileBytes(CommandLineFile());
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
}

void FinishWithin(DWORD timeoutMs, const std::function<void()>& work, const char* what)
{
    std::packaged_task<void()> task(work);
    std::future<void> done = task.get_future();
    std::thread worker(std::move(task));
    if (done.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
        ADD_FAILURE() << what << " did not finish within " << timeoutMs << " ms";
        std::fflush(nullptr);
        ::TerminateProcess(::GetCurrentProcess(), 99);
    }
    worker.join();
}

std::string Utf8(const std::wstring& text)
{
    return Utils::WideToMultiByte(text, CP_UTF8);
}

} // namespace InstallTest
