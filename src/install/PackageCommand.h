#pragma once

#include <string>

// Part of the install plan (pipeline/InstallPlan.h), kept here so the package stage can take
// it without reaching up into the pipeline.
namespace Pipeline {

// The package's command-line parts.
struct PackageCommand {
    bool desktopShortcut = true; // -dsc
    bool quickLaunch = true; // -ssc
    bool adminact = true; // -adminact (the console user is an administrator)
    bool authorizationact = true; // -authorizationact (the process is elevated)
    std::wstring language; // -inslang; empty: none
    std::wstring extraArguments; // InstCmd, the product team's own text: passed on unquoted
    bool logExtraArguments = false; // LogInstCmd: the log may show them, else only their length
};

} // namespace Pipeline
