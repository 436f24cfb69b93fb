#include "app/CallerOutput.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace App {
namespace {

// What one thread writes to the standard output; shared with the caller, which may stop
// waiting for it.
struct OutputWrite {
    HANDLE file = nullptr;
    std::string bytes;
    std::atomic<bool> stop { false };
    std::atomic<bool> written { false };
};

DWORD WINAPI WriteAll(void* context)
{
    const std::unique_ptr<std::shared_ptr<OutputWrite>> owned(static_cast<std::shared_ptr<OutputWrite>*>(context));
    OutputWrite& job = **owned;
    std::size_t done = 0;
    while (done < job.bytes.size() && !job.stop) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(job.bytes.size() - done, 65536));
        if (!::WriteFile(job.file, job.bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return 0;
        }
        done += written;
    }
    job.written = done == job.bytes.size();
    return 0;
}

bool WriteToStandardOutput(const std::wstring& text, DWORD pipeWaitMs)
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(output);
    if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) {
        return false;
    }
    // A write larger than the pipe's buffer waits until the caller reads; a caller that reads
    // only after the installer has ended (or never) would wait for it for ever. The text goes
    // from a thread, and what the caller has not taken within pipeWaitMs is given up.
    auto job = std::make_shared<OutputWrite>();
    job->file = output;
    job->bytes = Utils::WideToMultiByte(text, CP_UTF8);
    auto* context = new std::shared_ptr<OutputWrite>(job);
    Utils::UniqueHandle thread(::CreateThread(nullptr, 0, WriteAll, context, 0, nullptr));
    if (!thread) {
        delete context;
        return false;
    }
    if (::WaitForSingleObject(thread.get(), pipeWaitMs) == WAIT_OBJECT_0) {
        return job->written;
    }
    job->stop = true;
    // Ends the write that waits for a reader (again, should the thread have been between two).
    for (int attempt = 0; attempt < 20 && ::WaitForSingleObject(thread.get(), 0) == WAIT_TIMEOUT; ++attempt) {
        ::CancelSynchronousIo(thread.get());
        ::WaitForSingleObject(thread.get(), 100);
    }
    return true; // the caller has what it read; nothing else is shown
}

bool WriteToParentConsole(const std::wstring& text)
{
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    bool written = false;
    {
        Utils::UniqueFileHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        // The command prompt does not wait for a window program: its prompt is back already.
        const std::wstring shown = L"\r\n" + text;
        DWORD count = 0;
        written = console
            && ::WriteConsoleW(console.get(), shown.c_str(), static_cast<DWORD>(shown.size()), &count, nullptr);
    }
    ::FreeConsole();
    return written;
}

} // namespace

CallerOutput ShowToCaller(const std::wstring& text, bool mayShowDialog, DWORD pipeWaitMs)
{
    const std::wstring lines = Utils::ReplaceAll(Utils::ReplaceAll(text, L"\r\n", L"\n"), L"\n", L"\r\n");
    if (WriteToStandardOutput(lines, pipeWaitMs)) {
        return CallerOutput::StandardOutput;
    }
    if (WriteToParentConsole(lines)) {
        return CallerOutput::ParentConsole;
    }
    if (mayShowDialog) {
        ::MessageBoxW(nullptr, lines.c_str(), L"Vellumora", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return CallerOutput::Dialog;
    }
    return CallerOutput::Nowhere;
}

} // namespace App
