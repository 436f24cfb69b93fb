#include "install/ChildRun.h"

#include <memory>

#include "install/ChildProcess.h"
#include "install/LineAssembler.h"
#include "utils/Exception.h"
#include "utils/Log.h"

ChildRunResult RunChildForLines(const std::wstring& commandLine, HANDLE stopEvent,
    const std::function<void(const std::vector<std::string>& lines)>& onLines, ULONGLONG timeLimitMs)
{
    if (!stopEvent) {
        return ChildRunResult::StartFailed;
    }
    auto child = std::make_unique<CChildProcess>();
    child->SetTimeLimit(timeLimitMs);
    try {
        child->CreatePipes();
        child->Start(commandLine);
    } catch (const Utils::Exception& error) {
        LOG(L"could not start the child, error %lu\r\n", error.ErrorCode());
        return ChildRunResult::StartFailed;
    }
    LOG(L"child %lu started\r\n", child->ProcessId());

    LineAssembler assembler;
    for (;;) {
        const CChildProcess::Output output = child->ReadOutput(stopEvent);
        if (output.status == CChildProcess::Output::Status::Stopped) {
            child->Terminate();
            return ChildRunResult::Stopped;
        }
        if (output.status == CChildProcess::Output::Status::TimedOut) {
            child->EndAll();
            return ChildRunResult::TimedOut;
        }
        if (output.status == CChildProcess::Output::Status::Ended) {
            break;
        }
        const std::vector<std::string> lines = assembler.Feed(output.bytes);
        if (!lines.empty()) {
            onLines(lines);
        }
    }
    LOG(L"output of child %lu ended\r\n", child->ProcessId());
    if (auto last = assembler.Finish()) {
        onLines({ std::move(*last) });
    }
    if (!child->WaitForExit(stopEvent)) {
        if (child->TimeLimitReached()) {
            child->EndAll();
            return ChildRunResult::TimedOut;
        }
        child->Terminate();
        return ChildRunResult::Stopped;
    }
    LOG(L"child %lu ended\r\n", child->ProcessId());
    return ChildRunResult::Ended;
}
