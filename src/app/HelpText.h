#pragma once

#include <string>

namespace App {

// What "-help" and "/?" print: every option with its values, and every exit code with its
// causes. One text, in English, for scripts and administrators alike.
std::wstring HelpText();

// What "-version" prints: "Vellumora installer 1.2.3.0", the version the build stamped into the
// program's version resource (the VERSION file).
std::wstring VersionText();

} // namespace App
