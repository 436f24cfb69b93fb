#pragma once

#include <windows.h>

#include <winhttp.h>

#include "utils/UniqueResource.h"

namespace Download {

struct WinHttpHandleTraits {
    using Type = HINTERNET;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::WinHttpCloseHandle(h); }
};

// Strings WinHTTP hands out for the caller to free with GlobalFree.
struct GlobalStringTraits {
    using Type = LPWSTR;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { ::GlobalFree(h); }
};

using UniqueWinHttp = Utils::UniqueResource<WinHttpHandleTraits>;
using UniqueGlobalString = Utils::UniqueResource<GlobalStringTraits>;

} // namespace Download
