#include "install/ChildProcess.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <vector>

#include "utils/Exception.h"
#include "utils/Log.h"

namespace {

constexpr DWORD kErrorDrainBytes = 4096;

struct EnvironmentFree {
    void operator()(wchar_t* block) const noexcept { ::FreeEnvironmentStringsW(block); }
};

bool IsTemporaryFolderVariable(const std::wstring& entry)
{
    const std::size_t equals = entry.find(L'=', 1);
    return equals != std::wstring::npos
        && (::CompareStringOrdinal(entry.c_str(), static_cast<int>(equals), L"TMP", -1, TRUE) == CSTR_EQUAL
            || ::CompareStringOrdinal(entry.c_str(), static_cast<int>(equals), L"TEMP", -1, TRUE) == CSTR_EQUAL);
}

} // namespace

std::vector<wchar_t> EnvironmentWithTemporaryFolder(const std::wstring& folder)
{
    std::vector<std::wstring> entries;
    if (const std::unique_ptr<wchar_t, EnvironmentFree> block { ::GetEnvironmentStringsW() }) {
        for (const wchar_t* entry = block.get(); *entry; entry += std::wcslen(entry) + 1) {
            if (!IsTemporaryFolderVariable(entry)) {
                entries.emplace_back(entry);
            }
        }
    }
    entries.push_back(L"TEMP=" + folder);
    entries.push_back(L"TMP=" + folder);
    // The system expects the block sorted by name, case ignored.
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        const auto name = [](const std::wstring& e) {
            return e.substr(0, e.find(L'=', 1));
        };
        return ::CompareStringOrdinal(name(a).c_str(), -1, name(b).c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::vector<wchar_t> out;
    for (const std::wstring& entry : entries) {
        out.insert(out.end(), entry.begin(), entry.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

std::wstring ProgramFolder(const std::wstring& commandLine)
{
    std::wstring program;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        program = commandLine.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    } else {
        program = commandLine.substr(0, commandLine.find_first_of(L" \t"));
    }
    const std::size_t slash = program.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return {};
    }
    // "C:\x.exe": the root keeps its backslash.
    return program.substr(0, slash == 2 && program[1] == L':' ? 3 : slash);
}

CChildProcess::~CChildProcess()
{
    Release();
}

void CChildProcess::CreatePipes()
{
    m_errorPipe.Create(CPipe::ParentEnd::OverlappedRead);
    m_outputPipe.Create(CPipe::ParentEnd::OverlappedRead);
    m_inputPipe.Create(CPipe::ParentEnd::None);
}

void CChildProcess::Start(const std::wstring& commandLine)
{
    // CreateProcessW may write into its command line, so it gets a private copy sized to
    // the text rather than a fixed buffer that would cut long lines.
    m_commandLine.assign(commandLine.begin(), commandLine.end());
    m_commandLine.push_back(L'\0');

    ::SetHandleInformation(m_outputPipe.ReadEnd(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(m_errorPipe.ReadEnd(), HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(m_inputPipe.WriteEnd(), HANDLE_FLAG_INHERIT, 0);

    m_outputReader = std::make_unique<OverlappedPipeReader>(m_outputPipe.ReadEnd(), kChunkBytes);
    m_errorReader = std::make_unique<OverlappedPipeReader>(m_errorPipe.ReadEnd(), kErrorDrainBytes);
    if (m_outputReader->Ended() || m_errorReader->Ended()) {
        throw Utils::Exception(L"", ::GetLastError());
    }

    STARTUPINFOW startup {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = m_inputPipe.ReadEnd();
    startup.hStdOutput = m_outputPipe.WriteEnd();
    startup.hStdError = m_errorPipe.WriteEnd();

    // The child starts suspended and runs only once it is in its job, so nothing it starts
    // can be outside the job.
    m_timedOut = false;
    m_job.reset(::CreateJobObjectW(nullptr, nullptr));
    if (!m_job) {
        LOG(L"no job object (error %lu): a stop can end the child alone\r\n", ::GetLastError());
    }
    PROCESS_INFORMATION info {};
    // The child's current directory is its own folder, never ours: a program looks there
    // for files and libraries by bare name.
    const std::wstring directory = ProgramFolder(commandLine);
    // Its temporary folder is that folder too (for the package and the old uninstaller, the
    // run's work folder): an elevated child that unpacks what it then loads must not do so in
    // the user's TEMP, where the user could swap it first.
    std::vector<wchar_t> environment;
    if (!directory.empty()) {
        environment = EnvironmentWithTemporaryFolder(directory);
    }
    const DWORD flags = (m_job ? CREATE_SUSPENDED : 0) | CREATE_UNICODE_ENVIRONMENT;
    if (!::CreateProcessW(nullptr, m_commandLine.data(), nullptr, nullptr, TRUE, flags,
            environment.empty() ? nullptr : environment.data(), directory.empty() ? nullptr : directory.c_str(),
            &startup, &info)) {
        const DWORD error = ::GetLastError();
        LOG(L"CreateProcessW failed, error %lu\r\n", error);
        throw Utils::Exception(L"", error);
    }
    m_process.reset(info.hProcess);
    m_thread.reset(info.hThread);
    m_processId = info.dwProcessId;
    m_threadId = info.dwThreadId;
    if (m_job) {
        // Fails where this installer runs in a job that allows no nested one (before Windows 8).
        if (!::AssignProcessToJobObject(m_job.get(), m_process.get())) {
            LOG(L"child %lu not put in a job (error %lu): a stop can end it alone\r\n", m_processId, ::GetLastError());
            m_job.reset();
        } else {
            // Should this installer die before the child's verdict, the system closes the job
            // and ends the whole tree rather than leave it writing into the folder unwatched.
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
            // A process that asks to leave the job (CREATE_BREAKAWAY_FROM_JOB) may: a package
            // that starts its product that way has always been able to.
            limits.BasicLimitInformation.LimitFlags
                = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
            m_killOnClose
                = ::SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
            if (!m_killOnClose) {
                LOG(L"job of child %lu not set to end with us (error %lu)\r\n", m_processId, ::GetLastError());
            }
        }
        ::ResumeThread(m_thread.get());
    }
    m_deadline = m_timeLimitMs > 0 ? ::GetTickCount64() + m_timeLimitMs : 0;

    // Only the child may hold the write ends now, or the end of its output never shows.
    m_outputPipe.CloseWriteEnd();
    m_errorPipe.CloseWriteEnd();
    m_inputPipe.CloseReadEnd();
    // Nothing is ever written to the child: with the write end closed it reads end of file
    // at once instead of waiting for ever.
    m_inputPipe.CloseWriteEnd();

    m_exitSeen = false;
}

bool CChildProcess::DiscardError(DWORD waitResult, DWORD errorIndex)
{
    if (errorIndex == MAXDWORD || waitResult != WAIT_OBJECT_0 + errorIndex) {
        return false;
    }
    std::string_view ignored;
    m_errorReader->Finish(ignored);
    return true;
}

CChildProcess::Output CChildProcess::ReadOutput(HANDLE stopEvent)
{
    Output result;
    if (!m_outputReader || !m_process) {
        return result;
    }
    for (;;) {
        // Checked before each read too: a child that writes all the time never lets a wait time out.
        if (!m_exitSeen && TimedOutNow()) {
            result.status = Output::Status::TimedOut;
            return result;
        }
        if (!m_outputReader->Begin()) {
            return result;
        }
        m_errorReader->Begin();

        HANDLE handles[4];
        DWORD count = 0;
        handles[count++] = stopEvent;
        handles[count++] = m_outputReader->Event();
        DWORD errorIndex = MAXDWORD;
        if (m_errorReader->Pending()) {
            errorIndex = count;
            handles[count++] = m_errorReader->Event();
        }
        DWORD processIndex = MAXDWORD;
        if (!m_exitSeen) {
            processIndex = count;
            handles[count++] = m_process.get();
        }
        // The time limit counts until the child has ended; after that only the grace does.
        DWORD timeout = m_exitSeen ? INFINITE : TimeLeft();
        if (m_exitSeen) {
            // What the child wrote before it ended is already in the pipe (at most one
            // buffer), so the deadline is fixed and output from a leftover process cannot
            // stretch it.
            const ULONGLONG now = ::GetTickCount64();
            timeout = now >= m_graceDeadline ? 0 : static_cast<DWORD>(m_graceDeadline - now);
        }
        const DWORD waited = ::WaitForMultipleObjects(count, handles, FALSE, timeout);

        if (waited == WAIT_OBJECT_0) {
            result.status = Output::Status::Stopped;
            return result;
        }
        if (waited == WAIT_OBJECT_0 + 1) {
            if (m_outputReader->Finish(result.bytes) == OverlappedPipeReader::Status::Ended) {
                return result;
            }
            result.status = Output::Status::Data;
            return result;
        }
        if (DiscardError(waited, errorIndex)) {
            continue;
        }
        if (processIndex != MAXDWORD && waited == WAIT_OBJECT_0 + processIndex) {
            m_exitSeen = true;
            m_graceDeadline = ::GetTickCount64() + kOutputGraceAfterExitMs;
            continue;
        }
        if (waited == WAIT_TIMEOUT && !m_exitSeen) {
            continue; // the time limit, which the next round tells
        }
        if (waited == WAIT_TIMEOUT) {
            LOG(L"output still open %lu ms after the child ended; not waiting for it\r\n", kOutputGraceAfterExitMs);
            return result;
        }
        LOG(L"waiting for the child's output failed, error %lu\r\n", ::GetLastError());
        return result;
    }
}

bool CChildProcess::WaitForExit(HANDLE stopEvent)
{
    if (!m_process) {
        return true;
    }
    for (;;) {
        if (TimedOutNow()) {
            return false;
        }
        HANDLE handles[3] = { stopEvent, m_process.get(), nullptr };
        DWORD count = 2;
        const bool draining = m_errorReader && m_errorReader->Begin();
        if (draining) {
            handles[count++] = m_errorReader->Event();
        }
        const DWORD waited = ::WaitForMultipleObjects(count, handles, FALSE, TimeLeft());
        if (waited == WAIT_OBJECT_0) {
            return false;
        }
        if (waited == WAIT_TIMEOUT) {
            continue; // the time limit, which the next round tells
        }
        if (draining && DiscardError(waited, 2)) {
            continue;
        }
        return true;
    }
}

bool CChildProcess::HasEnded() const
{
    DWORD code = 0;
    return !m_process || !::GetExitCodeProcess(m_process.get(), &code) || code != STILL_ACTIVE;
}

DWORD CChildProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (m_process && !::GetExitCodeProcess(m_process.get(), &code)) {
        code = STILL_ACTIVE;
    }
    return code;
}

void CChildProcess::Terminate()
{
    if (m_process && !HasEnded()) {
        LOG(L"ending child %lu\r\n", m_processId);
        ::TerminateProcess(m_process.get(), 1);
        ::WaitForSingleObject(m_process.get(), 5000);
    }
}

DWORD CChildProcess::EndAll()
{
    if (!m_job) {
        const bool running = m_process && !HasEnded();
        Terminate();
        LOG(L"ended %lu processes: child %lu alone, outside a job\r\n", running ? 1ul : 0ul, m_processId);
        return running ? 1 : 0;
    }
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting {};
    const DWORD running = ::QueryInformationJobObject(m_job.get(), JobObjectBasicAccountingInformation, &accounting,
                              sizeof(accounting), nullptr)
        ? accounting.ActiveProcesses
        : 0;
    ::TerminateJobObject(m_job.get(), 1);
    const ULONGLONG end = ::GetTickCount64() + 5000;
    while (::QueryInformationJobObject(
               m_job.get(), JobObjectBasicAccountingInformation, &accounting, sizeof(accounting), nullptr)
        && accounting.ActiveProcesses > 0 && ::GetTickCount64() < end) {
        ::Sleep(20);
    }
    if (m_process) {
        ::WaitForSingleObject(m_process.get(), 5000);
    }
    LOG(L"ended %lu processes: child %lu and every process it started\r\n", running, m_processId);
    return running;
}

void CChildProcess::KeepWhatItStarted()
{
    if (!m_killOnClose) {
        return;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!::SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
        // Unlikely once setting it worked; the job's closing will end what the child left running.
        LOG(L"job of child %lu still ends with us (error %lu)\r\n", m_processId, ::GetLastError());
    } else {
        LOG(L"what child %lu started outlives the run\r\n", m_processId);
    }
    m_killOnClose = false;
}

DWORD CChildProcess::TimeLeft() const
{
    if (m_deadline == 0) {
        return INFINITE;
    }
    const ULONGLONG now = ::GetTickCount64();
    // Below INFINITE however long the bound: a wait that ends early is taken up again.
    return now >= m_deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(m_deadline - now, INFINITE - 1));
}

bool CChildProcess::TimedOutNow()
{
    // A child that ended just as the limit passed has ended in time.
    if (m_deadline != 0 && ::GetTickCount64() >= m_deadline && !HasEnded()) {
        m_timedOut = true;
    }
    return m_timedOut;
}

void CChildProcess::Release()
{
    // Pending reads point into the readers' buffers: cancel them before anything closes.
    m_outputReader.reset();
    m_errorReader.reset();
    m_thread.reset();
    m_process.reset();
    // Closing the job ends what the child started only while kill-on-close is set, that is
    // when the run neither heard a verdict nor saw the child end on its own.
    m_job.reset();
    m_killOnClose = false;
    m_inputPipe.Release();
    m_outputPipe.Release();
    m_errorPipe.Release();
}
