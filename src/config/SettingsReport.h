#pragma once

#include <string>

#include "config/InstallerConfig.h"

namespace Config {

struct RunSettings;

// The command line as the installer split it, each token quoted where it needs to be, and
// every "user:password@" password and URL query hidden, whatever option (or typo) carries
// it; "-instcmd=" shows its length only.
std::wstring CommandLineForLog(const std::wstring& commandLine);

// "user:password@host:port" → "user:(hidden)@host:port"; text without one stays as it is.
std::wstring HidePassword(const std::wstring& value);

// Every setting in force, "Name=value" joined by "; ", for the start of the log, in the order
// and the form of Config::OptionTable: URLs without their sign-in and query, the proxy as its
// description (never its password), InstCmd as its length unless LogInstCmd is set; a value a
// machine policy set is followed by " (policy)".
std::wstring DescribeSettings(const InstallerConfig& config, const RunSettings& settings);

} // namespace Config
