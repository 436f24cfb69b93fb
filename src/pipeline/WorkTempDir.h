#pragma once

#include <string>

namespace Pipeline {

// The installer's working folder under the system temporary folder, ending in a
// backslash and created when missing; empty when it cannot be had.
std::wstring GetWorkTempDir();

// Where the old version's uninstaller is copied before it runs; empty without a work folder.
std::wstring TemporaryUninstallerPath();

} // namespace Pipeline
