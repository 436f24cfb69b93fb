// Test helper: reports the settings in force after start-up, and logs a few lines so the
// log viewer can be tested on a real debuggee. Usage: vlm_config_probe.exe [options...]
#include <windows.h>

#include <cstdio>
#include <string>

#include "config/InstallerConfig.h"
#include "utils/Log.h"
#include "utils/Text.h"
#include "utils/Thread.h"

namespace {

void Print(const std::wstring& key, const std::wstring& value)
{
    const std::string line = Utils::WideToMultiByte(key + L"=" + value + L"\n", CP_UTF8);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

} // namespace

int wmain()
{
    ParseCommandLine();
    const InstallerConfig& c = TheInstallerConfig();
    wchar_t scale[64] = {};
    _snwprintf(scale, 63, L"%.17g", c.DownloadScale);
    Print(L"DlAppNameSuffix", c.DlAppNameSuffix);
    Print(L"m_DlAppVersion", c.m_DlAppVersion);
    Print(L"InstCmd", c.InstCmd);
    Print(L"DownloadUrl", c.DownloadUrl);
    Print(L"DownloadType", std::to_wstring(c.DownloadType));
    Print(L"IsCheckNet", c.IsCheckNet ? L"true" : L"false");
    Print(L"IsEnableAppSensors", c.IsEnableAppSensors ? L"true" : L"false");
    Print(L"DownloadScale", scale);
    Print(L"LanguageIndex", std::to_wstring(c.LanguageIndex));
    Print(L"InsNew", c.InsNew ? L"true" : L"false");

    LOG(L"probe says %s and %d\r\n", L"hello", 42);
    Utils::Thread worker(nullptr, L"ABDEF", [](void*) -> unsigned { return 7; });
    worker.Resume();
    worker.Join();
    return 0;
}
