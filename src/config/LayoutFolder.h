#pragma once

#include <string>

#include "config/LogFilePath.h"

namespace Config {

// Where "-layout=" writes an offline layout: the value resolved as every path option is
// (environment variables, a name relative to the installer's folder), without a trailing
// backslash. A share is fine: nothing is run from it. A problem instead for a name no folder
// can have, and for the installer's own folder (its copy and settings file would replace the
// running ones). Whether the folder can be made and written is tried before the download.
LogFilePath ResolveLayoutFolder(const std::wstring& value, const std::wstring& installerFolder);

} // namespace Config
