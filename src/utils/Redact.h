#pragma once

#include <string>
#include <string_view>

namespace Utils {

// A URL as it may be logged: a sign-in ("user:password@") becomes "…@" and a query string
// (signed URLs carry their token there) becomes "?…", the fragment going with it. Also for
// "user:password@host:port" without a scheme (a proxy setting). Anything else is unchanged.
std::wstring RedactUrl(std::wstring_view url);
std::string RedactUrl(std::string_view url);

// "user:password@host:port", with or without "scheme://" before it, as it may be logged:
// "user:(hidden)@host:port". A value without a user and a password is unchanged.
std::wstring HidePassword(std::wstring_view value);

// Every URL inside a free text (an error message, a redirect line) redacted as above; a URL
// runs from its "scheme://" to the next blank, quote or bracket.
std::wstring RedactUrlsInText(std::wstring_view text);

// text with every occurrence of secret replaced by "(N characters)", N its length; text
// unchanged when secret is empty.
std::wstring HideSecret(std::wstring_view text, std::wstring_view secret);

} // namespace Utils
