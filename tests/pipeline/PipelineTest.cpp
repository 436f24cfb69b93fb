// The pipeline with its real stages: the scripted HTTP server serves a copy of the scripted
// child as the package, and another copy plays the old version's uninstaller.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "pipeline/WorkTempDir.h"
#include "SigningFixtures.h"
#include "support/LogCapture.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "tests/install/StageHarness.h"
#include "utils/FileSystem.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

using InstallTest::EventLog;
using InstallTest::StageEvent;

namespace {

constexpr DWORD kWaitMs = 20000;

// The scripted child, padded past the single-stream downloader's 1 MiB floor (a PE file
// runs with trailing bytes).
std::shared_ptr<const std::string> PackageBody()
{
    std::string bytes = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
    if (bytes.size() < 1536 * 1024) {
        bytes.resize(1536 * 1024, '\0');
    }
    return std::make_shared<const std::string>(std::move(bytes));
}

std::size_t IndexOf(const std::vector<StageEvent>& events, int code)
{
    const auto it = std::find_if(events.begin(), events.end(), [code](const StageEvent& e) { return e.code == code; });
    return static_cast<std::size_t>(it - events.begin());
}

std::size_t CountOf(const std::vector<StageEvent>& events, int code)
{
    return static_cast<std::size_t>(
        std::count_if(events.begin(), events.end(), [code](const StageEvent& e) { return e.code == code; }));
}

class PipelineRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedConfig = TheInstallerConfig();
        TheInstallerConfig().DownloadType = 1;
        TheInstallerConfig().InsNew = false;
        ASSERT_TRUE(m_server.Running());
        m_server.AddBody("pkg.exe", PackageBody());
        m_installDir = m_root / L"install dir";
    }
    void TearDown() override
    {
        TheInstallerConfig() = m_savedConfig;
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", nullptr);
    }

    std::wstring PackagePath() const { return m_installDir + L"\\__Package_Vellumora.exe"; }

    // The package finds its script beside itself once downloaded.
    void SetPackageScript(const std::string& script)
    {
        ASSERT_TRUE(Utils::EnsureDirectoryPath(m_installDir));
        ASSERT_TRUE(TestSupport::WriteFileBytes(m_installDir + L"\\__Package_Vellumora.script",
            "cmdline " + InstallTest::Utf8(m_root / L"package-cmdline.bin") + "\n" + script));
    }

    // An installed older version: its uninst.ep is a copy of the scripted child; its copy in
    // the (fresh) work folder finds its script through the environment.
    std::wstring MakeOldVersion(const std::string& script)
    {
        const std::wstring oldDir = m_root / L"old version";
        EXPECT_TRUE(Utils::EnsureDirectoryPath(oldDir));
        EXPECT_TRUE(CopyFileW((TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe").c_str(),
            (oldDir + L"\\uninst.ep").c_str(), FALSE));
        const std::wstring scriptPath = m_root / L"uninstaller.script";
        EXPECT_TRUE(TestSupport::WriteFileBytes(
            scriptPath, "cmdline " + InstallTest::Utf8(m_root / L"uninstaller-cmdline.bin") + "\n" + script));
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", scriptPath.c_str());
        return oldDir + L"\\uninst.ep";
    }

    std::unique_ptr<CDownloadInstaller> MakePipeline(const std::string& url, const std::wstring& oldUninstaller = L"")
    {
        auto pipeline
            = std::make_unique<CDownloadInstaller>(m_events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(
            TestSupport::WideUrl(url), L"", oldUninstaller, m_installDir, true, false, true, false, L"");
        return pipeline;
    }

    std::wstring RecordedCommandLine(const std::wstring& file) const
    {
        const std::string bytes = TestSupport::ReadFileBytes(file);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }

    InstallerConfig m_savedConfig;
    TestSupport::HttpTestServer m_server;
    TestSupport::TempDir m_root { L"pipeline" };
    std::wstring m_installDir;
    EventLog m_events;
};

} // namespace

TEST_F(PipelineRun, WithoutAnOldVersionDownloadsThenInstallsAndCleansUp)
{
    SetPackageScript("out Progress=0.5\nout State=Success\n");
    TestSupport::LogCapture log;
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    EXPECT_EQ(pipeline->BuildPackagePath(), PackagePath());
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));

    const auto events = m_events.Events();
    EXPECT_EQ(CountOf(events, UNIST_CODE_PROGRESS) + CountOf(events, UNIST_CODE_SUCCESS), 0u);
    EXPECT_EQ(events.front().code, 1001);
    EXPECT_LT(IndexOf(events, 1003), IndexOf(events, IST_CODE_START));
    EXPECT_EQ(events.back(), (StageEvent { IST_CODE_SUCCESS, 0.0, L"" }));
    pipeline.reset(); // lets the pipeline finish its own work for the last event
    EXPECT_FALSE(Utils::PathExists(PackagePath())) << "the package is deleted after the install";
    EXPECT_EQ(RecordedCommandLine(m_root / L"package-cmdline.bin"),
        L"\"" + PackagePath()
            + L"\" /S -console=show -version=1.0.0 -adminact=true -authorizationact=false"
              L" -dsc=true -ssc=false -instdir=\""
            + m_installDir + L"\" /D=" + m_installDir);

    // Every log line of the pipeline is written under its start operation's name.
    for (const wchar_t* text : { L": DL_TYPE=1\r\n", L": DL_CODE_START\r\n", L": DOWNLOAD_SUCCESS\r\n",
             L": DL_CODE_SUCCESS\r\n", L": IST_CODE_START\r\n", L": INSTALL_SUCCESS\r\n" }) {
        const auto lines = log.Matching(text);
        ASSERT_FALSE(lines.empty()) << "missing log line " << Utils::WideToMultiByte(text, CP_UTF8);
        EXPECT_NE(lines.front().find(L"(CDownloadInstaller::Start"), std::wstring::npos);
    }
}

// The package is acquired before the old version is touched, and starts once the removal
// has ended, from the install folder (the children's stamps give the order).
TEST_F(PipelineRun, WithAnOldVersionDownloadsThenRemovesThenRunsThePackageFromTheInstallFolder)
{
    const std::wstring stamps = m_root / L"stamps.txt";
    SetPackageScript("stamp " + InstallTest::Utf8(stamps) + "\nout State=Success\n");
    const std::wstring oldUninstaller = MakeOldVersion(
        "out Progress=0.5\nout State=Success\nflush\nsleep 300\nstamp " + InstallTest::Utf8(stamps) + "\n");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"), oldUninstaller);
    pipeline->Start();
    EXPECT_EQ(pipeline->DownloadPath(), ::Pipeline::GetWorkTempDir() + L"__Package_Vellumora.exe");
    ASSERT_TRUE(m_events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
    pipeline.reset();

    const auto events = m_events.Events();
    EXPECT_EQ(events.front().code, 1001);
    EXPECT_LT(IndexOf(events, 1003), IndexOf(events, UNIST_CODE_PROGRESS));
    EXPECT_LT(IndexOf(events, UNIST_CODE_SUCCESS), IndexOf(events, IST_CODE_START));
    // The removal's verdict came 300 ms before its end: the package waited for the end.
    const std::string order = TestSupport::ReadFileBytes(stamps);
    const std::size_t removal = order.find("TarvikQuill_un_asa.exe ");
    const std::size_t package = order.find("__Package_Vellumora.exe ");
    ASSERT_NE(removal, std::string::npos) << order;
    ASSERT_NE(package, std::string::npos) << order;
    EXPECT_LT(removal, package) << order;
    EXPECT_TRUE(RecordedCommandLine(m_root / L"package-cmdline.bin").starts_with(L"\"" + PackagePath() + L"\" /S"));
    EXPECT_FALSE(Utils::PathExists(PackagePath())) << "deleted after the run";
    EXPECT_FALSE(Utils::PathExists(::Pipeline::GetWorkTempDir() + L"__Package_Vellumora.exe"));

    const std::wstring line = RecordedCommandLine(m_root / L"uninstaller-cmdline.bin");
    const std::wstring suffix = L" -console=show _?=" + m_root / L"old version";
    ASSERT_GE(line.size(), suffix.size());
    EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix) << "_?= comes last, unquoted";
    EXPECT_NE(line.find(L"~TarvikTemp.92482B06FB471E17\\\\TarvikQuill_un_asa.exe"), std::wstring::npos);
}

// Whatever goes wrong before the package starts leaves the old version alone: its
// uninstaller never runs, and no package is left behind.
TEST_F(PipelineRun, AFailedOrStoppedAcquisitionNeverRunsTheOldUninstaller)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    struct Case {
        const char* name;
        std::string url;
        TestSupport::HttpFault fault;
        std::wstring pin;
        bool stop;
    };
    TestSupport::HttpFault corrupt;
    corrupt.method = "GET";
    corrupt.corrupt = true;
    TestSupport::HttpFault stall;
    stall.method = "GET";
    stall.stallAfter = 4096;
    stall.stallMs = 30000;
    const Case cases[] = {
        { "MD5 fails every time", m_server.FileUrl("pkg.exe"), corrupt, L"", false },
        { "unreachable server", "http://127.0.0.1:1/pkg.exe", {}, L"", false },
        { "refused by the pin", m_server.FileUrl("pkg.exe"), {}, SigningTest::ThumbprintOf(L"rootA"), false },
        { "stopped during the download", m_server.FileUrl("pkg.exe"), stall, L"", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetStandingFault("pkg.exe", c.fault);
        TheInstallerConfig().PackageSigner = c.pin;
        SetPackageScript("out State=Success\n");
        const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
        ::DeleteFileW((m_root / L"uninstaller-cmdline.bin").c_str());
        EventLog events;
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(
            TestSupport::WideUrl(c.url), L"", oldUninstaller, m_installDir, true, true, true, true, L"");
        pipeline->Start();
        const std::wstring waiting = pipeline->DownloadPath();
        if (c.stop) {
            ASSERT_TRUE(events.WaitForCode(1001, kWaitMs));
            InstallTest::FinishWithin(
                10000, [&] { pipeline->Stop(); }, "stopping the pipeline");
            pipeline->Start(); // a stop is final
        } else {
            ASSERT_TRUE(events.WaitForCode(1004, kWaitMs));
        }
        Sleep(300); // time enough for a stage that should not start
        pipeline.reset();
        const auto all = events.Events();
        EXPECT_EQ(CountOf(all, UNIST_CODE_PROGRESS) + CountOf(all, IST_CODE_START), 0u);
        EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"uninstaller-cmdline.bin").empty()) << "never run";
        EXPECT_TRUE(Utils::PathExists(oldUninstaller));
        EXPECT_FALSE(Utils::PathExists(waiting));
        EXPECT_FALSE(Utils::PathExists(PackagePath()));
    }
}

// The work folder has a fixed name in the user's temporary folder: whatever is found there
// (planted files, or a file in its place) is removed, never reused.
TEST_F(PipelineRun, TheUninstallersWorkFolderIsMadeAfreshForEachRemoval)
{
    const std::wstring work = ::Pipeline::GetWorkTempDir();
    ASSERT_FALSE(work.empty());
    for (const bool fileInItsPlace : { false, true }) {
        SCOPED_TRACE(fileInItsPlace ? "a file in its place" : "a folder with planted files");
        EventLog events;
        if (fileInItsPlace) {
            ::DeleteFileW((work + L"TarvikQuill_un_asa.exe").c_str());
            ASSERT_TRUE(::RemoveDirectoryW(work.c_str()));
            ASSERT_TRUE(TestSupport::WriteFileBytes(work.substr(0, work.size() - 1), "planted"));
        } else {
            ASSERT_TRUE(Utils::EnsureDirectoryPath(work));
            ASSERT_TRUE(TestSupport::WriteFileBytes(work + L"WTSAPI32.dll", "planted"));
            ASSERT_TRUE(Utils::EnsureDirectoryPath(work + L"sub"));
            ASSERT_TRUE(TestSupport::WriteFileBytes(work + L"sub\\x.dll", "planted"));
        }
        SetPackageScript("out State=Success\n");
        const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
        {
            CDownloadInstaller pipeline(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(TestSupport::WideUrl(m_server.FileUrl("pkg.exe")), L"", oldUninstaller, m_installDir,
                true, true, true, true, L"");
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
        }
        EXPECT_FALSE(Utils::PathExists(work + L"WTSAPI32.dll"));
        EXPECT_FALSE(Utils::PathExists(work + L"sub"));
        EXPECT_TRUE(Utils::PathExists(work + L"TarvikQuill_un_asa.exe")) << "the copy ran from a fresh folder";
    }
}

TEST_F(PipelineRun, AFailedRemovalNeverRunsThePackage)
{
    SetPackageScript("out State=Success\n");
    for (const char* script : { "out State=Fail\n", "exit 3\n", "out State=Fail\nflush\nout State=Success\n" }) {
        SCOPED_TRACE(script);
        ::DeleteFileW((m_root / L"package-cmdline.bin").c_str());
        const std::wstring oldUninstaller = MakeOldVersion(script);
        EventLog events;
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(TestSupport::WideUrl(m_server.FileUrl("pkg.exe")), L"", oldUninstaller, m_installDir, true,
            true, true, true, L"");
        pipeline->Start();
        const std::wstring waiting = pipeline->DownloadPath();
        ASSERT_TRUE(events.WaitForCode(UNIST_CODE_ERROR, kWaitMs));
        ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
        Sleep(300);
        pipeline.reset();
        EXPECT_EQ(CountOf(events.Events(), IST_CODE_START), 0u);
        EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"package-cmdline.bin").empty()) << "never started";
        EXPECT_FALSE(Utils::PathExists(waiting));
        EXPECT_FALSE(Utils::PathExists(PackagePath()));
    }
}

TEST_F(PipelineRun, MissingCopyOfTheUninstallerFailsWithoutDownloading)
{
    const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
    // A temporary folder that cannot be created leaves no place for the copy.
    wchar_t savedTmp[MAX_PATH] = {};
    wchar_t savedTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TMP", savedTmp, MAX_PATH);
    GetEnvironmentVariableW(L"TEMP", savedTemp, MAX_PATH);
    SetEnvironmentVariableW(L"TMP", L"Q:\\no such drive");
    SetEnvironmentVariableW(L"TEMP", L"Q:\\no such drive");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"), oldUninstaller);
    pipeline->Start();
    SetEnvironmentVariableW(L"TMP", savedTmp);
    SetEnvironmentVariableW(L"TEMP", savedTemp);

    ASSERT_TRUE(m_events.WaitForEvent({ UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在" }, kWaitMs));
    pipeline.reset();
    EXPECT_EQ(CountOf(m_events.Events(), 1001), 0u);
    EXPECT_TRUE(m_server.Requests().empty());
}

TEST_F(PipelineRun, RetryAfterABadDigestInstallsOnceAfterTheGoodDownload)
{
    SetPackageScript("out State=Success\n");
    TestSupport::HttpFault corrupt;
    corrupt.method = "GET";
    corrupt.corrupt = true;
    m_server.QueueFault("pkg.exe", corrupt);
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
    pipeline.reset();

    const auto events = m_events.Events();
    EXPECT_EQ(CountOf(events, 1005), 1u);
    EXPECT_EQ(CountOf(events, 1003), 1u);
    EXPECT_EQ(CountOf(events, IST_CODE_START), 1u);
    EXPECT_LT(IndexOf(events, 1005), IndexOf(events, 1003));
    EXPECT_LT(IndexOf(events, 1003), IndexOf(events, IST_CODE_START));
}

TEST_F(PipelineRun, DownloadTypeChoosesTheDownloader)
{
    struct Case {
        int type;
        bool expectHead;
        bool expectRange;
    };
    // Single stream probes with HEAD and fetches without a range; the segmented downloader
    // fetches ranges; WinHTTP fetches with one plain GET.
    for (const Case c : { Case { 0, true, false }, Case { 1, true, false }, Case { 4, true, false },
             Case { 2, false, false }, Case { 3, true, true } }) {
        SCOPED_TRACE(c.type);
        TestSupport::HttpTestServer server;
        server.AddBody("pkg.exe", PackageBody());
        TheInstallerConfig().DownloadType = c.type;
        SetPackageScript("out State=Success\n");
        EventLog events;
        {
            CDownloadInstaller pipeline(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(
                TestSupport::WideUrl(server.FileUrl("pkg.exe")), L"", L"", m_installDir, true, true, true, true, L"");
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
        }
        EXPECT_EQ(!server.Requests("HEAD").empty(), c.expectHead);
        const auto gets = server.Requests("GET");
        ASSERT_FALSE(gets.empty());
        EXPECT_EQ(!gets.front().range.empty(), c.expectRange);
    }
}

TEST_F(PipelineRun, PackageFilesAreDeletedAfterFailuresAndByTheNextAttempt)
{
    m_server.AddBody("missing.exe", std::make_shared<const std::string>(2 * 1024 * 1024, 'm'));
    TestSupport::HttpFault notFound;
    notFound.status = 404;
    m_server.SetStandingFault("missing.exe", notFound);
    {
        auto pipeline = MakePipeline(m_server.FileUrl("missing.exe"));
        pipeline->Start();
        ASSERT_TRUE(m_events.WaitForCode(1004, kWaitMs));
    }
    EXPECT_FALSE(Utils::PathExists(PackagePath()));
    // Leave a stale file where the failed attempt's package was: the next attempt's
    // clean-up removes it as the previous package.
    ASSERT_TRUE(TestSupport::WriteFileBytes(PackagePath(), "stale"));

    const std::wstring firstPackage = PackagePath();
    m_installDir = m_root / L"second";
    SetPackageScript("out State=Fail\n");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForEvent({ IST_CODE_FAIL, 0.0, L"安装包安装失败" }, kWaitMs));
    pipeline.reset();
    EXPECT_FALSE(Utils::PathExists(PackagePath()));
    EXPECT_FALSE(Utils::PathExists(firstPackage));
}

// The session's gate runs on the stage's thread before the removal and before the package:
// the caller is never held, and a refusal is the stage's failure with the gate's code.
TEST_F(PipelineRun, TheStartGateHoldsEachChildOnItsOwnThread)
{
    const struct {
        const char* name;
        bool oldVersion;
        int refusal; // 0: the gate lets it go once opened
        StageEvent last;
    } cases[] = {
        { "package", false, 0, { IST_CODE_SUCCESS, 0.0, L"" } },
        { "removal then package", true, 0, { IST_CODE_SUCCESS, 0.0, L"" } },
        { "package refused", false, kFailProductRunning, { IST_CODE_FAIL, kFailProductRunning, L"" } },
        { "removal refused", true, kFailProductRunning, { UNIST_CODE_FAIL, kFailProductRunning, L"" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EventLog events;
        SetPackageScript("out State=Success\n");
        const std::wstring oldUninstaller = c.oldVersion ? MakeOldVersion("out State=Success\n") : L"";
        Utils::UniqueHandle open(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::atomic<int> calls { 0 };
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(TestSupport::WideUrl(m_server.FileUrl("pkg.exe")), L"", oldUninstaller, m_installDir, true,
            false, true, false, L"");
        pipeline->SetStartGate([&, gate = open.get()](HANDLE stop) {
            ++calls;
            const HANDLE both[] = { gate, stop };
            ::WaitForMultipleObjects(2, both, FALSE, INFINITE);
            return c.refusal;
        });
        pipeline->Start();
        ASSERT_TRUE(events.WaitForCode(1003, kWaitMs)); // the download succeeded
        EXPECT_FALSE(events.WaitForCode(c.oldVersion ? int { UNIST_CODE_PROGRESS } : int { IST_CODE_START }, 500))
            << "nothing starts while the gate is shut";
        ::SetEvent(open.get());
        ASSERT_TRUE(events.WaitForCode(c.last.code, kWaitMs));
        ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
        EXPECT_EQ(events.Events().back(), c.last);
        EXPECT_EQ(calls.load(), c.refusal != 0 || !c.oldVersion ? 1 : 2) << "before each child";
    }
}

TEST_F(PipelineRun, DestroyedMidDownloadStopsAndReportsNothingMore)
{
    TestSupport::HttpFault stall;
    stall.method = "GET";
    stall.stallAfter = 4096;
    stall.stallMs = 30000;
    m_server.SetStandingFault("pkg.exe", stall);
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForCode(1001, kWaitMs));
    InstallTest::FinishWithin(
        10000, [&] { pipeline.reset(); }, "destroying the pipeline");
    const std::size_t seen = m_events.Events().size();
    Sleep(300);
    EXPECT_EQ(m_events.Events().size(), seen);
}

// With a signer pin: the package is checked after the download, and a refusal is a failed
// download (event 1004 with the signature's value): never started, file deleted, reason logged.
TEST_F(PipelineRun, ThePinDecidesWhichPackagesRun)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    struct Case {
        const char* name;
        const wchar_t* fixture;
        SigningTest::Change change;
        std::wstring pin;
        const wchar_t* logged; // the verdict's log text
    };
    const std::wstring rootA = SigningTest::ThumbprintOf(L"rootA");
    const std::vector<Case> cases = {
        { "signed by the pinned signer", L"pkg-leafA.exe", SigningTest::Change::None, rootA,
            L"package signature accepted" },
        { "no pin, unsigned", L"pkg-unsigned.exe", SigningTest::Change::None, L"", nullptr },
        { "unsigned", L"pkg-unsigned.exe", SigningTest::Change::None, rootA, L"refused: no signature" },
        { "changed after signing", L"pkg-leafA.exe", SigningTest::Change::CodeByte, rootA, L"refused: bad digest" },
        { "another signer", L"pkg-leafB.exe", SigningTest::Change::None, rootA, L"refused: signer not pinned" },
        { "unreadable pin", L"pkg-leafA.exe", SigningTest::Change::None, L"12:34", L"refused: signer pin unreadable" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool runs = c.logged == nullptr || std::wstring(c.logged).find(L"accepted") != std::wstring::npos;
        TestSupport::HttpTestServer server;
        server.AddBody("pkg.exe",
            std::make_shared<const std::string>(
                SigningTest::Changed(TestSupport::ReadFileBytes(SigningTest::Fixture(c.fixture)), c.change)));
        TheInstallerConfig().PackageSigner = c.pin;
        SetPackageScript("out State=Success\n");
        ::DeleteFileW((m_root / L"package-cmdline.bin").c_str());
        TestSupport::LogCapture log;
        EventLog events;
        {
            CDownloadInstaller pipeline(events.Callback(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(
                TestSupport::WideUrl(server.FileUrl("pkg.exe")), L"", L"", m_installDir, true, true, true, true, L"");
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(runs ? IST_CODE_SUCCESS : 1004, kWaitMs));
        }
        const auto all = events.Events();
        EXPECT_EQ(CountOf(all, IST_CODE_START), runs ? 1u : 0u);
        EXPECT_EQ(CountOf(all, 1003), runs ? 1u : 0u) << "a refused package is no successful download";
        if (!runs) {
            EXPECT_EQ(all.back(), (StageEvent { 1004, -995.0, L"Signature" }));
            EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"package-cmdline.bin").empty()) << "never started";
        }
        EXPECT_FALSE(Utils::PathExists(PackagePath())) << "deleted either way";
        if (c.logged) {
            EXPECT_FALSE(log.Matching(c.logged).empty());
        } else {
            EXPECT_TRUE(log.Matching(L"signature").empty()) << "no pin, no check";
        }
    }
}

TEST_F(PipelineRun, WithAPinAnUnsignedOldUninstallerIsNotRun)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    TheInstallerConfig().PackageSigner = SigningTest::ThumbprintOf(L"leafA");
    m_server.AddBody("signed.exe",
        std::make_shared<const std::string>(TestSupport::ReadFileBytes(SigningTest::Fixture(L"pkg-leafA.exe"))));
    SetPackageScript("out State=Success\n");
    const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n"); // the unsigned scripted child
    TestSupport::LogCapture log;
    auto pipeline = MakePipeline(m_server.FileUrl("signed.exe"), oldUninstaller);
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForEvent({ UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在" }, kWaitMs));
    ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
    pipeline.reset();
    EXPECT_EQ(CountOf(m_events.Events(), 1003), 1u) << "the package was acquired first";
    EXPECT_EQ(CountOf(m_events.Events(), IST_CODE_START), 0u);
    EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"uninstaller-cmdline.bin").empty());
    EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"package-cmdline.bin").empty());
    EXPECT_FALSE(log.Matching(L"old uninstaller signature refused: no signature").empty());
}
