#include "install/ChildRun.h"

#include <memory>

#include "install/ChildProcess.h"
#include "install/LineAssembler.h"
#include "utils/Exception.h"
#include "utils/Log.h"

ChildRunResult RunChildForLines(const std::wstring& commandLine, HANDLE stopEvent,
    const std::function<void(const std::vector<std::string>& lines)>& onLines, ULONGLONG timeLimitMs,
    const std::function<bool()>& verdictGiven)
{
    ChildRunResult result;
    if (!stopEvent) {
        return result;
    }
    auto child = std::make_unique<CChildProcess>();
    child->SetTimeLimit(timeLimitMs);
    try {
        child->CreatePipes();
        child->Start(commandLine);
    } catch (const Utils::Exception& error) {
        LOG(L"could not start the child, error %lu\r\n", error.ErrorCode());
        return result;
    }
    LOG(L"child %lu started\r\n", child->ProcessId());

    bool verdict = false;
    const auto handOver = [&](const std::vector<std::string>& lines) {
        onLines(lines);
        if (!verdict && verdictGiven && verdictGiven()) {
            verdict = true;
            child->KeepWhatItStarted();
        }
    };
    // Before its verdict, a child ended half-way may have started sub-installers that would
    // go on writing into the folder; after it, what runs on is the product's business.
    const auto stop = [&] {
        if (verdict) {
            child->Terminate();
        } else {
            child->EndAll();
        }
        result.status = ChildRunResult::Status::Stopped;
        return result;
    };

    LineAssembler assembler;
    for (;;) {
        const CChildProcess::Output output = child->ReadOutput(stopEvent);
        if (output.status == CChildProcess::Output::Status::Stopped) {
            return stop();
        }
        if (output.status == CChildProcess::Output::Status::TimedOut) {
            child->EndAll();
            result.status = ChildRunResult::Status::TimedOut;
            return result;
        }
        if (output.status == CChildProcess::Output::Status::Ended) {
            break;
        }
        const std::vector<std::string> lines = assembler.Feed(output.bytes);
        if (!lines.empty()) {
            handOver(lines);
        }
    }
    LOG(L"output of child %lu ended\r\n", child->ProcessId());
    if (auto last = assembler.Finish()) {
        handOver({ std::move(*last) });
    }
    if (!child->WaitForExit(stopEvent)) {
        if (child->TimeLimitReached()) {
            child->EndAll();
            result.status = ChildRunResult::Status::TimedOut;
            return result;
        }
        return stop();
    }
    // Ended on its own: what it left running is its own doing, as a verdict's.
    child->KeepWhatItStarted();
    result.status = ChildRunResult::Status::Ended;
    result.exitCode = child->ExitCode();
    LOG(L"child %lu ended with status %s\r\n", child->ProcessId(), ExitStatusText(result.exitCode).c_str());
    return result;
}

std::wstring ExitStatusText(DWORD exitCode)
{
    wchar_t text[16] = {};
    _snwprintf(text, 15, exitCode < 0x10000 ? L"%lu" : L"0x%08lX", static_cast<unsigned long>(exitCode));
    return text;
}
