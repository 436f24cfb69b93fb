// PackageTimeout on real children under Wine: a run that goes on too long is ended with
// every process it started, and is a failure of its own; a package's verdict given in time
// stands, an old uninstaller's does not (the old version is left partly removed).
#include <gtest/gtest.h>

#include "StageHarness.h"
#include "install/Installer.h"
#include "install/StageCodes.h"
#include "install/Uninstaller.h"
#include "support/ProcessRunner.h"
#include "utils/Processes.h"
#include "utils/UniqueResource.h"

using InstallTest::EventLog;
using InstallTest::ScriptedChild;

TEST(PackageTimeLimit, EndsTheChildWithAllItStartedUnlessItGaveItsVerdictInTime)
{
    constexpr ULONGLONG kLimitMs = 1000;

    const struct {
        const char* name;
        bool uninstaller;
        const char* script; // after spawning the grandchild
        StageEvent last;
    } cases[] = {
        { "package sleeps", false, "sleep 60000\n", { IST_CODE_FAIL, kFailTimedOut, L"" } },
        { "package keeps writing", false, "spam 4000000000\n", { IST_CODE_FAIL, kFailTimedOut, L"" } },
        { "package said success", false, "out State=Success\nflush\nsleep 60000\n", { IST_CODE_SUCCESS, 0.0, L"" } },
        { "old uninstaller sleeps", true, "sleep 60000\n", { UNIST_CODE_FAIL, kFailTimedOut, L"" } },
        { "old uninstaller said success", true, "out State=Success\nflush\nsleep 60000\n",
            { UNIST_CODE_FAIL, kFailTimedOut, L"" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const wchar_t* exeName = c.uninstaller ? L"TarvikQuill_un_asa.exe" : L"__Package_Vellumora.exe";
        ScriptedChild child(exeName);
        const std::wstring grandchild = child.Folder() + L"\\vlm_timeout_grandchild.exe";
        ASSERT_TRUE(
            ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), grandchild.c_str(), FALSE));
        child.SetScript("spawn \"" + InstallTest::Utf8(grandchild) + "\" 60000\n" + c.script);

        EventLog log;
        const ULONGLONG start = ::GetTickCount64();
        if (c.uninstaller) {
            CUninstaller uninstaller(log.Callback(), child.Path(), L"C:\\Old");
            uninstaller.SetTimeLimit(kLimitMs);
            uninstaller.Start();
            EXPECT_TRUE(uninstaller.WaitForRun(15000));
        } else {
            CInstaller installer(log.Callback(), child.Path(), L"");
            installer.SetTimeLimit(kLimitMs);
            installer.Start();
            EXPECT_TRUE(installer.WaitForRun(15000));
        }
        EXPECT_LT(::GetTickCount64() - start, 10000u);
        ASSERT_FALSE(log.Events().empty());
        EXPECT_EQ(log.Events().back(), c.last);
        EXPECT_EQ(Utils::FindProcessIdByName(exeName), 0u) << "the child is left";
        EXPECT_EQ(Utils::FindProcessIdByName(L"vlm_timeout_grandchild.exe"), 0u) << "the grandchild is left";
    }
}
