// vlm_demo_driver: drives one run of the installer, started beforehand, with real input.
//   vlm_demo_driver.exe --start=button|existing|itself [--log=<file>] [--shots=<folder>]
//                       [--name=<prefix>] [--timeout=<seconds>]
// button: page 0's one-click install; existing: okBtn of the existing-installation prompt;
// itself: nothing to click (-insnew=true). --log names the file vlmlog.exe writes the
// installer's log to; its lines tell when the installation is over. Waits for the finish,
// saves a screenshot of each page as <folder>\<prefix>-<n>-<page>.png, closes the window,
// and prints each step.
// Exit code 0 when the installation finished and the window closed, 1 when not, 2 on bad
// arguments.
#include <windows.h>

#include <cstdio>
#include <string>

#include "InstallFlow.h"
#include "utils/Text.h"

namespace {

void Print(const std::wstring& line)
{
    const std::string text = "driver: " + Utils::WideToMultiByte(line, CP_UTF8) + "\n";
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool ParseArguments(int argc, wchar_t** argv, DemoDriver::FlowOptions& options)
{
    bool haveStart = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        const std::size_t equals = argument.find(L'=');
        const std::wstring key = argument.substr(0, equals);
        const std::wstring value = equals == std::wstring::npos ? std::wstring() : argument.substr(equals + 1);
        if (key == L"--start") {
            haveStart = true;
            if (value == L"button") {
                options.startBy = DemoDriver::StartBy::DefaultInstallButton;
            } else if (value == L"existing") {
                options.startBy = DemoDriver::StartBy::ExistingInstallationOk;
            } else if (value == L"itself") {
                options.startBy = DemoDriver::StartBy::Itself;
            } else {
                return false;
            }
        } else if (key == L"--log") {
            options.logFile = value;
        } else if (key == L"--shots") {
            options.shotsFolder = value;
        } else if (key == L"--name" && !value.empty()) {
            options.shotPrefix = value;
        } else if (key == L"--timeout" && !value.empty() && value.size() < 5
            && value.find_first_not_of(L"0123456789") == std::wstring::npos) {
            options.finishTimeoutMs = static_cast<DWORD>(std::stoul(value)) * 1000;
        } else {
            return false;
        }
    }
    return haveStart;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    DemoDriver::FlowOptions options;
    if (!ParseArguments(argc, argv, options)) {
        Print(L"usage: vlm_demo_driver.exe --start=button|existing|itself [--log=<file>] [--shots=<folder>] "
              L"[--name=<prefix>] "
              L"[--timeout=<seconds>]");
        return 2;
    }
    if (!options.shotsFolder.empty()) {
        ::CreateDirectoryW(options.shotsFolder.c_str(), nullptr);
    }
    const DemoDriver::FlowResult result = DemoDriver::DriveInstall(options, Print);
    return result.ok ? 0 : 1;
}
