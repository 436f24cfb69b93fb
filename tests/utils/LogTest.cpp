#include <gtest/gtest.h>

#include <regex>

#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "utils/Log.h"
#include "utils/LogFile.h"

namespace {

struct Widget {
    static std::wstring Qualified() { return ::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__).text; }
    std::wstring Const() const { return ::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__).text; }
    std::wstring InLambda()
    {
        return [] {
            return std::wstring(::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__).text);
        }();
    }
    template <typename T> std::wstring Template(T)
    {
        return ::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__).text;
    }
    std::wstring operator()(int) const { return ::Utils::detail::QualifiedFunctionName(__PRETTY_FUNCTION__).text; }
};

void LogFromFreeFunction()
{
    LOG(L"free\r\n");
}

} // namespace

TEST(LogPrefix, FormatsByteForByte)
{
    TestSupport::LogCapture capture;
    Utils::LogPrint(
        VLM_LOG_PREFIX L"msg %s %d", 123, 45, 2026, 1, 2, 0, 0, 0, 7, L"Utils::CheckNetwork", 12, L"wide", 5);
    Utils::LogPrint(VLM_LOG_PREFIX L"THREAD END\r\n", 123456, 1234567, 2026, 12, 31, 23, 59, 59, 999,
        L"Utils::Thread::CallBack", 12345);
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"<P00123><T00045><2026-01-02 00:00:00.007>(Utils::CheckNetwork)<0012>: msg wide 5");
    EXPECT_EQ(
        lines[1], L"<P123456><T1234567><2026-12-31 23:59:59.999>(Utils::Thread::CallBack)<12345>: THREAD END\r\n");
}

TEST(LogPrefix, LogStatementCarriesThisProcessThreadAndQualifiedName)
{
    TestSupport::LogCapture capture;
    LOG(L"GetConnectivity %d", 3);
    LogFromFreeFunction();
    const auto lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2u);
    wchar_t ids[32];
    _snwprintf(ids, 31, L"<P%05lu><T%05lu><", GetCurrentProcessId(), GetCurrentThreadId());
    EXPECT_EQ(lines[0].rfind(ids, 0), 0u) << lines[0];
    const std::wregex shape(LR"(<P\d{5,}><T\d{5,}><\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}>\((.*)\)<(\d{4,})>: (.*))");
    std::wsmatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, shape));
    EXPECT_EQ(match[1].str(), L"LogPrefix_LogStatementCarriesThisProcessThreadAndQualifiedName_Test::TestBody");
    EXPECT_EQ(match[3].str(), L"GetConnectivity 3");
    // Anonymous namespaces are left out of the name.
    EXPECT_EQ(lines[1].find(L"(LogFromFreeFunction)<"), 41u) << lines[1];
    EXPECT_EQ(lines[1].substr(lines[1].size() - 6), L"free\r\n");
}

TEST(LogPrefix, QualifiedNamesDropReturnTypesParametersAndQualifiers)
{
    Widget w;
    EXPECT_EQ(Widget::Qualified(), L"Widget::Qualified");
    EXPECT_EQ(w.Const(), L"Widget::Const");
    EXPECT_EQ(w.InLambda(), L"Widget::InLambda::<lambda>::operator()");
    EXPECT_EQ(w.Template(1.0), L"Widget::Template");
    EXPECT_EQ(w(1), L"Widget::operator()");
}

TEST(LogFile, LinesAreAppendedAsUtf8EachOnALineOfItsOwn)
{
    TestSupport::TempDir dir;
    const std::wstring path = dir / L"run.log";
    ASSERT_TRUE(TestSupport::WriteFileBytes(path, "earlier run\r\n"));
    ASSERT_EQ(Utils::StartLogFile(path), static_cast<DWORD>(ERROR_SUCCESS));
    LOG(L"无效路径 %d", 7); // no line end of its own
    LOG(L"second\r\n");
    Utils::StopLogFile();
    LOG(L"after the file\r\n");

    const std::string bytes = TestSupport::ReadFileBytes(path);
    EXPECT_EQ(bytes.rfind("earlier run\r\n<P", 0), 0u) << bytes;
    EXPECT_NE(bytes.find(": \xE6\x97\xA0\xE6\x95\x88\xE8\xB7\xAF\xE5\xBE\x84 7\r\n<P"), std::string::npos) << bytes;
    EXPECT_EQ(bytes.substr(bytes.size() - 10), ": second\r\n") << bytes;
    EXPECT_EQ(bytes.find("after the file"), std::string::npos);

    EXPECT_NE(Utils::StartLogFile(dir.Path()), static_cast<DWORD>(ERROR_SUCCESS)) << "a folder is no log file";
    EXPECT_NE(Utils::StartLogFile(dir / L"missing\\run.log"), static_cast<DWORD>(ERROR_SUCCESS));
}
