#pragma once

#include <string>

#include "config/InstallerConfig.h"

namespace Config {

// The command line as the installer split it, each token quoted where it needs to be, and
// the password of every "-proxy=user:password@host:port" hidden.
std::wstring CommandLineForLog(const std::wstring& commandLine);

// Every setting in force, "Name=value" joined by "; ", for the start of the log. The proxy
// appears as its description, which never holds a password.
std::wstring DescribeSettings(const InstallerConfig& config);

} // namespace Config
