#pragma once

#include <string>

namespace Pipeline {

// Called once a downloaded package is in place, before the pipeline takes its hold. Does
// nothing in the program; a test build links its own definition (to change the file, as
// someone racing for it would).
void AfterPackageDownloaded(const std::wstring& path);

} // namespace Pipeline
