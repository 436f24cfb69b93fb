#pragma once

#include <functional>
#include <string>

// The one event channel of every pipeline stage: (code, progress, message). The progress
// argument is a fraction on progress events and carries a value or a failure code on
// others. It may be called on any worker thread.
using StageCallback = std::function<void(int code, double progress, const std::wstring& message)>;
