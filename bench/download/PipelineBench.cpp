#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <mutex>

#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "download/Downloader.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "utils/Log.h"

// Runs the install pipeline as the window does, from Start to the package's start: the moment
// CreateProcess has returned for the downloaded package. A trivial package (its image, then
// the payload) makes the rest of the run short.

namespace {

double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f {};
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter {};
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

struct Milestones {
    std::mutex mutex;
    std::condition_variable changed;
    double downloaded = 0.0; // the download's success event
    double started = 0.0; // CreateProcess of the package returned
    double ended = 0.0; // the package's verdict or a failure
    int failure = 0;
};

} // namespace

// vlm_pipeline_bench <download type 1|2|3> <url> <install folder> [timeout seconds]
int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fwprintf(stderr, L"usage: vlm_pipeline_bench <1|2|3> <url> <install folder> [timeout seconds]\n");
        return 2;
    }
    TheInstallerConfig().DownloadType = _wtoi(argv[1]);
    // The pipeline reads the run's settings, not the raw configuration: the type given is the
    // type that runs, and the output says which one did.
    Config::RunSettings settings = Config::MakeRunSettings(TheInstallerConfig());
    const int downloadType = settings.downloadType;
    const int timeoutSeconds = argc > 4 ? _wtoi(argv[4]) : 300;

    Milestones at;
    const bool showLog = _wgetenv(L"VLM_BENCH_LOG") != nullptr;
    Utils::SetLogObserver([&at, showLog](const std::wstring& line) {
        // The runner logs this right after CreateProcess returned.
        if (line.find(L"child ") != std::wstring::npos && line.find(L" started") != std::wstring::npos) {
            const double now = Now();
            std::lock_guard<std::mutex> lock(at.mutex);
            at.started = now;
            at.changed.notify_all();
        }
        if (showLog) {
            std::fwprintf(stderr, L"%.3f %ls", Now(), line.c_str());
        }
    });

    CDownloadInstaller pipeline(
        [&at](const StageEvent& event) {
            const int code = event.code;
            const double value = event.progress;
            const double now = Now();
            std::lock_guard<std::mutex> lock(at.mutex);
            if (code == Download::DL_CODE_SUCCESS) {
                at.downloaded = now;
            } else if (code == IST_CODE_SUCCESS || code == IST_CODE_FAIL || code == Download::DL_CODE_FAIL) {
                at.ended = now;
                at.failure = code == IST_CODE_SUCCESS ? 0 : code * 1000 + static_cast<int>(value);
            }
            at.changed.notify_all();
        },
        std::move(settings));
    Pipeline::InstallPlan plan;
    plan.downloadUrl = argv[2];
    plan.folder = argv[3];
    plan.package = { false, false, false, false };
    pipeline.SetParams(plan);
    const double began = Now();
    if (showLog) {
        std::fwprintf(stderr, L"%.3f the pipeline starts\n", began);
    }
    pipeline.Start();
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(at.mutex);
        ended = at.changed.wait_for(lock, std::chrono::seconds(timeoutSeconds), [&] { return at.ended != 0.0; });
    }
    pipeline.WaitForChildRuns(10000);
    pipeline.Stop();
    Utils::SetLogObserver(nullptr);

    const auto since = [began](double t) {
        return t != 0.0 ? t - began : -1.0;
    };
    std::wprintf(L"failure=%d type=%d downloaded=%.3f seconds=%.3f ended=%.3f\n", ended ? at.failure : -1, downloadType,
        since(at.downloaded), since(at.started), since(at.ended));
    return ended && at.failure == 0 && at.started != 0.0 ? 0 : 1;
}
