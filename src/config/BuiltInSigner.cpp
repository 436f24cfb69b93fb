// Alone in its file, so that a test build can link its own definition instead of this one
// (an archive member is only pulled in for a symbol nothing else defines).
#include "config/InstallerConfig.h"

#ifndef VLM_PACKAGE_SIGNER
#error "VLM_PACKAGE_SIGNER must be defined by the build"
#endif
#define VLM_WIDEN2(x) L##x
#define VLM_WIDEN(x) VLM_WIDEN2(x)

std::wstring Config::BuiltInPackageSigner()
{
    return VLM_WIDEN(VLM_PACKAGE_SIGNER);
}
