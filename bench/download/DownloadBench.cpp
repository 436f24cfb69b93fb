#include <windows.h>

#include <psapi.h>

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "download/Downloader.h"
#include "download/LocalFiles.h"
#include "utils/Log.h"

namespace {

struct Outcome {
    std::mutex mutex;
    std::condition_variable ended;
    int code = 0;
    double value = 0.0;
};

} // namespace

// vlm_download_bench <download type 1|2|3> <url> <local path> [timeout seconds]
int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: vlm_download_bench <1|2|3> <url> <local path> [timeout seconds]\n");
        return 2;
    }
    const int type = _wtoi(argv[1]);
    const std::wstring url = argv[2];
    const std::wstring path = argv[3];
    const int timeoutSeconds = argc > 4 ? _wtoi(argv[4]) : 900;

    // VLM_BENCH_LOG=1 shows the downloader's log lines on standard error, to see where time goes.
    if (_wgetenv(L"VLM_BENCH_LOG")) {
        Utils::SetLogObserver([](const std::wstring& line) { std::fwprintf(stderr, L"%ls", line.c_str()); });
    }

    Outcome outcome;
    // A retry request starts the downloader again from inside the event, as the pipeline does.
    CDownloader* running = nullptr;
    auto callback = [&outcome, &running](int code, double value, const std::wstring&) {
        if (code == Download::DL_CODE_RETRY && running) {
            running->Start();
            return;
        }
        if (code == Download::DL_CODE_SUCCESS || code == Download::DL_CODE_FAIL) {
            std::lock_guard<std::mutex> lock(outcome.mutex);
            outcome.code = code;
            outcome.value = value;
            outcome.ended.notify_all();
        }
    };

    // VLM_BENCH_STOP_AFTER=<seconds> stops the download then and prints how long Stop took.
    const wchar_t* stopAfter = _wgetenv(L"VLM_BENCH_STOP_AFTER");
    const int waitSeconds = stopAfter ? _wtoi(stopAfter) : timeoutSeconds;
    const ULONGLONG began = ::GetTickCount64();
    auto downloader = CreateDownloader(type, callback, url, path);
    running = downloader.get();
    downloader->Start();
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(outcome.mutex);
        finished = outcome.ended.wait_for(lock, std::chrono::seconds(waitSeconds), [&] { return outcome.code != 0; });
    }
    if (stopAfter) {
        const ULONGLONG stopping = ::GetTickCount64();
        downloader->Stop();
        std::wprintf(L"stop_ms=%llu ", static_cast<unsigned long long>(::GetTickCount64() - stopping));
    }
    const double seconds = static_cast<double>(::GetTickCount64() - began) / 1000.0;
    downloader.reset();

    PROCESS_MEMORY_COUNTERS memory {};
    memory.cb = sizeof(memory);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &memory, sizeof(memory));
    const long long bytes = static_cast<long long>(Download::LocalFileSize(path));
    std::wprintf(L"code=%d value=%.1f seconds=%.3f bytes=%lld peak_working_set=%llu\n", finished ? outcome.code : 0,
        outcome.value, seconds, bytes, static_cast<unsigned long long>(memory.PeakWorkingSetSize));
    return finished && outcome.code == Download::DL_CODE_SUCCESS ? 0 : 1;
}
