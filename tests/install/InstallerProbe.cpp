// Test helper: runs the program named third as the package, the way the installer does, sets the named event given
// first once the run has logged the text given second, and waits to be killed: an installer that dies while its package
// runs.
#include <windows.h>

#include <string>

#include "install/Installer.h"
#include "support/LogCapture.h"
#include "utils/UniqueResource.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        return 2;
    }
    Utils::UniqueHandle reached(::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1]));
    TestSupport::LogCapture capture;
    CInstaller installer([](int, double, const std::wstring&) {}, argv[3], L"");
    installer.Start();
    if (capture.WaitFor(argv[2], 15000)) {
        ::SetEvent(reached.get());
    }
    ::Sleep(60000);
    return 0;
}
