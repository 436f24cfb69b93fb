#include <gtest/gtest.h>

#include "support/ProcessRunner.h"

TEST(LogViewer, PrintsTheDebuggeesLinesAndItsExitCode)
{
    const std::wstring bin = TestSupport::BinDirectory();
    const auto result = TestSupport::RunProcess(TestSupport::QuoteArgument(bin + L"\\vlmlog.exe") + L" --timeout=20 "
        + TestSupport::QuoteArgument(bin + L"\\vlm_config_probe.exe"));
    ASSERT_TRUE(result.started);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.output.find(")<0041>: probe says hello and 42\r\n"), std::string::npos) << result.output;
    // The worker thread was named while a debugger was attached and still ran to its end.
    EXPECT_NE(result.output.find("(Utils::Thread::CallBack)<"), std::string::npos);
    EXPECT_NE(result.output.find(": THREAD END\r\n"), std::string::npos);
}

TEST(LogViewer, EndsAHungDebuggeeAtItsTimeout)
{
    const std::wstring bin = TestSupport::BinDirectory();
    const auto result = TestSupport::RunProcess(TestSupport::QuoteArgument(bin + L"\\vlmlog.exe") + L" --timeout=1 "
            + TestSupport::QuoteArgument(bin + L"\\vlm_sleeper.exe") + L" 60000",
        15000);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 2u);
}
