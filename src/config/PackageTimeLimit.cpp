#include "config/PackageTimeLimit.h"

namespace Config {

bool PackageTimeoutCountsSeconds()
{
    wchar_t value[4] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"VLM_TEST_PACKAGETIMEOUT_IN_SECONDS", value, 4);
    return length == 1 && value[0] == L'1';
}

ULONGLONG PackageTimeLimitMs(const InstallerConfig& config)
{
    if (config.PackageTimeout <= 0) {
        return 0;
    }
    const ULONGLONG unit = PackageTimeoutCountsSeconds() ? 1000 : 60000;
    return static_cast<ULONGLONG>(config.PackageTimeout) * unit;
}

} // namespace Config
