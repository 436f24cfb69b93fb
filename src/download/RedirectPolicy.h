#pragma once

#include <string>

namespace Download {

// Redirects both engines follow, and no more: web schemes only, never from https down to
// http (whoever answered the plain hop would choose the file and, through its URL, the
// digest it is checked against).
inline constexpr int kMaxRedirects = 10;

enum class RedirectVerdict {
    Follow,
    TooMany,
    NotWeb,
    Downgrade,
};

// Whether to follow a redirect from one absolute URL to another after hopsSoFar redirects
// already followed. A refusal is logged with both URLs' schemes and hosts.
RedirectVerdict CheckRedirect(const std::wstring& from, const std::wstring& to, int hopsSoFar);

} // namespace Download
