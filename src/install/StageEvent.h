#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// Why a failure happened where the failure code does not say it.
enum class StageCause { None, SignatureRefused, DowngradeRefused };

// One stage event as the pipeline hands it on: the design's (code, progress, message), and
// beside it what those three do not carry, typed, never folded into the progress value.
struct StageEvent {
    int code = 0;
    double progress = 0.0;
    std::wstring message;
    // Why a failure (DL_CODE_FAIL, UNIST_CODE_FAIL) happened, where the design's codes do not say:
    // DowngradeRefused, a DL_CODE_FAIL for a package older than the installed version.
    StageCause cause = StageCause::None;
    // IST_CODE_EXIT_STATUS: the package's exit status (the progress is then 0).
    std::optional<DWORD> exitStatus;

    bool operator==(const StageEvent&) const = default;
};

using StageEventSink = std::function<void(const StageEvent&)>;
