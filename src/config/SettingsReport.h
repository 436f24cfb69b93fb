#pragma once

#include <string>

#include "config/InstallerConfig.h"

namespace Config {

// The command line as the installer split it, each token quoted where it needs to be, and
// every "user:password@" password and URL query hidden, whatever option (or typo) carries
// it; "-instcmd=" shows its length only.
std::wstring CommandLineForLog(const std::wstring& commandLine);

// "user:password@host:port" → "user:(hidden)@host:port"; text without one stays as it is.
std::wstring HidePassword(const std::wstring& value);

// Every setting in force, "Name=value" joined by "; ", for the start of the log. The proxy
// appears as its description, which never holds a password; the download URL without its
// sign-in and query; InstCmd as its length unless LogInstCmd is set.
std::wstring DescribeSettings(const InstallerConfig& config);

} // namespace Config
