// Alone in its file, so that a test build can link its own definition instead of this one.
#include "pipeline/PackageTestHook.h"

namespace Pipeline {

void AfterPackageDownloaded(const std::wstring& /*path*/) { }

} // namespace Pipeline
