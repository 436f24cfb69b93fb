// The pipeline with its real stages: the scripted HTTP server serves a copy of the scripted
// child as the package, and another copy plays the old version's uninstaller.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>

#include "config/InstallerConfig.h"
#include "config/RunSettings.h"
#include "install/StageCodes.h"
#include "pipeline/DownloadInstaller.h"
#include "pipeline/OfflineLayout.h"
#include "pipeline/PackageTestHook.h"
#include "pipeline/WorkTempDir.h"
#include "SigningFixtures.h"
#include "support/LogCapture.h"
#include "support/ProcessRunner.h"
#include "support/TempDir.h"
#include "support/UnixLink.h"
#include "support/WaitUntil.h"
#include "support/http_server/HttpTestServer.h"
#include "tests/install/StageHarness.h"
#include "utils/FileSystem.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

#include <sddl.h>

using InstallTest::EventLog;

namespace {

constexpr DWORD kWaitMs = 20000;

// Set by a test: the package is changed on disk right after its download, before the
// pipeline takes its hold, as someone racing for it would.
std::atomic<bool> g_changeDownloadedPackage { false };

// The scripted child, padded past the single-stream downloader's 1 MiB floor (a PE file
// runs with trailing bytes).
std::shared_ptr<const std::string> PackageBody(std::size_t size = 1536 * 1024)
{
    std::string bytes = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
    if (bytes.size() < size) {
        bytes.resize(size, '\0');
    }
    return std::make_shared<const std::string>(std::move(bytes));
}

// The plan the session would hand over: dsc, no ssc, adminact, no authorizationact.
Pipeline::InstallPlan PlanFor(const std::string& url, const std::wstring& oldUninstaller, const std::wstring& folder)
{
    Pipeline::InstallPlan plan;
    plan.downloadUrl = TestSupport::WideUrl(url);
    plan.oldUninstaller = oldUninstaller;
    plan.folder = folder;
    plan.package.quickLaunch = false;
    plan.package.authorizationact = false;
    return plan;
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
        m_foldersBefore = WorkFolders();
    }
    void TearDown() override
    {
        TheInstallerConfig() = m_savedConfig;
        g_changeDownloadedPackage = false;
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", nullptr);
        ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT___Package_Vellumora", nullptr);
    }

    // Where a package was never put: the install folder.
    std::wstring PackagePath() const { return m_installDir + L"\\__Package_Vellumora.exe"; }

    // The run folders in the temporary folder, by name.
    static std::set<std::wstring> WorkFolders()
    {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW entry {};
        Utils::UniqueFindHandle find(
            ::FindFirstFileW((::Pipeline::WorkFolderParent() + L"TarvikRun.*").c_str(), &entry));
        if (find) {
            do {
                names.insert(entry.cFileName);
            } while (::FindNextFileW(find.get(), &entry));
        }
        return names;
    }
    // Those this test made and left.
    std::set<std::wstring> WorkFoldersLeft() const
    {
        std::set<std::wstring> left;
        for (const auto& name : WorkFolders()) {
            if (!m_foldersBefore.count(name)) {
                left.insert(name);
            }
        }
        return left;
    }
    // A package path is "<temporary folder>\TarvikRun.<32 hex digits>\__Package_Vellumora.exe".
    static void ExpectInAWorkFolder(const std::wstring& path)
    {
        const std::wstring parent = ::Pipeline::WorkFolderParent();
        ASSERT_TRUE(path.starts_with(parent + L"TarvikRun.")) << Utils::WideToMultiByte(path, CP_UTF8);
        EXPECT_EQ(path.size(), parent.size() + 10 + 32 + 1 + 23) << Utils::WideToMultiByte(path, CP_UTF8);
        EXPECT_TRUE(path.ends_with(L"\\__Package_Vellumora.exe"));
    }

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
            = std::make_unique<CDownloadInstaller>(m_events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(PlanFor(url, oldUninstaller, m_installDir));
        return pipeline;
    }

    std::wstring RecordedCommandLine(const std::wstring& file) const
    {
        const std::string bytes = TestSupport::ReadFileBytes(file);
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    }

    InstallerConfig m_savedConfig;
    std::set<std::wstring> m_foldersBefore;
    TestSupport::HttpTestServer m_server;
    TestSupport::TempDir m_root { L"pipeline" };
    std::wstring m_installDir;
    EventLog m_events;
};

} // namespace

// The test build's own definition of the program's no-op hook.
void Pipeline::AfterPackageDownloaded(const std::wstring& path)
{
    if (g_changeDownloadedPackage) {
        Utils::UniqueFileHandle file(::CreateFileW(
            path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        EXPECT_TRUE(file && ::WriteFile(file.get(), "!", 1, &written, nullptr)) << "the hook could not change it";
    }
}

// An old uninstaller the plan names but that is gone since is not run; the plan's folder is
// made before the package starts.
TEST_F(PipelineRun, WithoutAnOldVersionDownloadsThenInstallsAndCleansUp)
{
    SetPackageScript("out Progress=0.5\nout State=Success\n");
    TestSupport::LogCapture log;
    const std::wstring folder = m_installDir + L"\\made";
    ::SetEnvironmentVariableW(
        L"VLM_CHILD_SCRIPT___Package_Vellumora", (m_installDir + L"\\__Package_Vellumora.script").c_str());
    auto pipeline
        = std::make_unique<CDownloadInstaller>(m_events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
    pipeline->SetParams(PlanFor(m_server.FileUrl("pkg.exe"), m_root / L"gone\\uninst.ep", folder));
    pipeline->Start();
    const std::wstring package = pipeline->DownloadPath();
    ExpectInAWorkFolder(package);
    ASSERT_TRUE(m_events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));

    const auto events = m_events.Events();
    EXPECT_EQ(CountOf(events, UNIST_CODE_PROGRESS) + CountOf(events, UNIST_CODE_SUCCESS), 0u);
    EXPECT_EQ(events.front().code, 1001);
    EXPECT_LT(IndexOf(events, 1003), IndexOf(events, IST_CODE_START));
    EXPECT_EQ(events.back(), (StageEvent { IST_CODE_SUCCESS, 0.0, L"" }));
    ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
    pipeline.reset(); // lets the pipeline finish its own work for the last event
    EXPECT_EQ(m_events.WithCode(IST_CODE_EXIT_STATUS),
        (std::vector<StageEvent> { { IST_CODE_EXIT_STATUS, 0.0, L"", StageCause::None, 0u } }))
        << "the status goes typed, not as the progress";
    EXPECT_FALSE(Utils::PathExists(PackagePath())) << "never in the install folder";
    EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {}) << "the package and its folder are removed";
    EXPECT_EQ(RecordedCommandLine(m_root / L"package-cmdline.bin"),
        L"\"" + package
            + L"\" /S -console=show -version=1.0.0 -adminact=true -authorizationact=false"
              L" -dsc=true -ssc=false -instdir=\""
            + folder + L"\" /D=" + folder);
    EXPECT_TRUE(Utils::PathExists(folder)) << "made for the package";

    // Every log line of the pipeline is written under its start operation's name.
    for (const wchar_t* text : { L": DL_TYPE=1\r\n", L": DL_CODE_START\r\n", L": DOWNLOAD_SUCCESS\r\n",
             L": DL_CODE_SUCCESS\r\n", L": IST_CODE_START\r\n", L": INSTALL_SUCCESS\r\n" }) {
        const auto lines = log.Matching(text);
        ASSERT_FALSE(lines.empty()) << "missing log line " << Utils::WideToMultiByte(text, CP_UTF8);
        EXPECT_NE(lines.front().find(L"(CDownloadInstaller::Start"), std::wstring::npos);
    }
}

// The package is acquired before the old version is touched, and starts once the removal
// has ended, from the work folder the uninstaller's copy ran from (the children's stamps
// give the order).
TEST_F(PipelineRun, WithAnOldVersionDownloadsThenRemovesThenRunsThePackageFromTheWorkFolder)
{
    const std::wstring stamps = m_root / L"stamps.txt";
    SetPackageScript("stamp " + InstallTest::Utf8(stamps) + "\nout State=Success\n");
    const std::wstring oldUninstaller = MakeOldVersion(
        "out Progress=0.5\nout State=Success\nflush\nsleep 300\nstamp " + InstallTest::Utf8(stamps) + "\n");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"), oldUninstaller);
    pipeline->Start();
    const std::wstring packageFile = pipeline->DownloadPath();
    ExpectInAWorkFolder(packageFile);
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
    EXPECT_TRUE(RecordedCommandLine(m_root / L"package-cmdline.bin").starts_with(L"\"" + packageFile + L"\" /S"));
    EXPECT_FALSE(Utils::PathExists(PackagePath()));
    EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {}) << "the package, the copy and the folder are removed";

    const std::wstring line = RecordedCommandLine(m_root / L"uninstaller-cmdline.bin");
    const std::wstring suffix = L" -console=show _?=" + m_root / L"old version";
    ASSERT_GE(line.size(), suffix.size());
    EXPECT_EQ(line.substr(line.size() - suffix.size()), suffix) << "_?= comes last, unquoted";
    const std::wstring folder = packageFile.substr(0, packageFile.rfind(L'\\') + 1);
    EXPECT_TRUE(line.starts_with(L"\"" + folder + L"TarvikQuill_un_asa.exe\"")) << "the copy runs from the same folder";
}

// Whatever goes wrong before the package starts leaves the old version alone: its
// uninstaller never runs, and no package nor work folder is left behind.
TEST_F(PipelineRun, AFailedOrStoppedAcquisitionNeverRunsTheOldUninstaller)
{
    ASSERT_EQ(SigningTest::TrustTestRoots(), L"");
    struct Case {
        const char* name;
        std::string url;
        TestSupport::HttpFault fault;
        std::wstring pin;
        bool stop;
        bool changed = false; // on disk, after the download
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
        { "changed after its download", m_server.FileUrl("pkg.exe"), {}, L"", false, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_server.SetStandingFault("pkg.exe", c.fault);
        TheInstallerConfig().PackageSigner = c.pin;
        g_changeDownloadedPackage = c.changed;
        TestSupport::LogCapture log;
        SetPackageScript("out State=Success\n");
        const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
        ::DeleteFileW((m_root / L"uninstaller-cmdline.bin").c_str());
        EventLog events;
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(PlanFor(c.url, oldUninstaller, m_installDir));
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
        EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});
        if (c.changed) {
            EXPECT_FALSE(log.Matching(L"the package changed after its download").empty());
        }
    }
}

// Each run makes a folder of its own; a folder with the name the installer once used is
// never touched, whatever it holds (here a link to a folder with a file, where the host lets
// the test make one).
TEST_F(PipelineRun, EachRunHasAFolderOfItsOwnAndTheOldFixedFolderIsLeftAlone)
{
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring fixed = std::wstring(temp) + L"~TarvikTemp.92482B06FB471E17";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(fixed));
    ASSERT_TRUE(TestSupport::WriteFileBytes(fixed + L"\\TarvikQuill_un_asa.exe", "planted"));
    const std::wstring target = m_root / L"target";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(target));
    ASSERT_TRUE(TestSupport::WriteFileBytes(target + L"\\keep.txt", "keep"));
    const bool linked = TestSupport::MakeUnixSymlink(target, fixed + L"\\link");

    std::set<std::wstring> folders;
    for (int run = 0; run < 2; ++run) {
        SetPackageScript("out State=Success\n");
        const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
        EventLog events;
        {
            CDownloadInstaller pipeline(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(PlanFor(m_server.FileUrl("pkg.exe"), oldUninstaller, m_installDir));
            pipeline.Start();
            folders.insert(pipeline.DownloadPath());
            ASSERT_TRUE(events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
        }
        EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});
    }
    EXPECT_EQ(folders.size(), 2u) << "two runs, two folders";
    EXPECT_EQ(TestSupport::ReadFileBytes(fixed + L"\\TarvikQuill_un_asa.exe"), "planted");
    EXPECT_EQ(TestSupport::ReadFileBytes(target + L"\\keep.txt"), "keep");
    if (linked) {
        EXPECT_EQ(TestSupport::ReadFileBytes(fixed + L"\\link\\keep.txt"), "keep");
    }
    ::DeleteFileW((fixed + L"\\TarvikQuill_un_asa.exe").c_str());
}

// While the package runs, nobody can write, delete or rename its file, and its current
// directory is its own folder.
TEST_F(PipelineRun, WhileThePackageRunsNobodyCanChangeItAndItRunsInItsOwnFolder)
{
    const std::wstring running = m_root / L"running";
    SetPackageScript("cwd " + InstallTest::Utf8(m_root / L"cwd.bin") + "\nstamp " + InstallTest::Utf8(running)
        + "\nsleep 1500\nout State=Success\n");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    pipeline->Start();
    const std::wstring package = pipeline->DownloadPath();
    ASSERT_TRUE(TestSupport::WaitUntil([&] { return Utils::PathExists(running); }, kWaitMs));

    Utils::UniqueFileHandle writer(::CreateFileW(package.c_str(), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(writer) << "opened for writing";
    EXPECT_FALSE(::DeleteFileW(package.c_str())) << "deleted";
    EXPECT_FALSE(::MoveFileW(package.c_str(), (package + L".moved").c_str())) << "renamed";
    const std::wstring folder = package.substr(0, package.rfind(L'\\'));
    EXPECT_FALSE(::MoveFileW(folder.c_str(), (folder + L".moved").c_str())) << "its folder renamed";

    ASSERT_TRUE(m_events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
    pipeline.reset();
    EXPECT_EQ(RecordedCommandLine(m_root / L"cwd.bin"), folder + L"\n" + folder + L"\n" + folder)
        << "its current directory and its temporary folder are the work folder";
    EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});
}

// The paths marked for deletion at the next restart (a move to nowhere), in their order.
std::vector<std::wstring> PendingDeletions()
{
    constexpr wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    DWORD size = 0;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ,
            nullptr, nullptr, &size)
        != ERROR_SUCCESS) {
        return {};
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 2);
    ::RegGetValueW(HKEY_LOCAL_MACHINE, kSessionManager, L"PendingFileRenameOperations", RRF_RT_REG_MULTI_SZ, nullptr,
        text.data(), &size);
    std::vector<std::wstring> deletions;
    for (const wchar_t* from = text.data(); *from;) {
        const wchar_t* to = from + std::wcslen(from) + 1;
        if (*to == L'\0') {
            deletions.emplace_back(from);
            from = to + 1;
        } else {
            from = to + std::wcslen(to) + 1;
        }
    }
    return deletions;
}

// A package that asks for a restart may have staged files in its TEMP (the work folder) to be
// moved into place then: the folder outlives the run, marked for removal at that restart, its
// files before it. A restart asked after the verdict, or with a failure, keeps nothing.
TEST_F(PipelineRun, WhatAPackageStagedForItsRestartOutlivesTheRun)
{
    const std::string stage = "cwd " + InstallTest::Utf8(m_root / L"cwd.bin") + "\nstage "
        + InstallTest::Utf8(m_root / L"moved at restart.bin") + "\n";
    const struct {
        const char* name;
        const char* script;
        bool kept;
    } cases[] = {
        { "restart before the verdict", "out Restart=Required\nout State=Success\n", true },
        { "status 3010 without a verdict", "exit 3010\n", true },
        { "no restart", "out State=Success\n", false },
        { "restart after the verdict", "out State=Success\nout Restart=Required\n", false },
        { "restart, then failure", "out Restart=Required\nout State=Fail\n", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::RegDeleteKeyValueW(
            HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
        SetPackageScript(stage + c.script);
        EventLog events;
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(PlanFor(m_server.FileUrl("pkg.exe"), L"", m_installDir));
        pipeline->Start();
        ASSERT_TRUE(events.WaitForCode(IST_CODE_EXIT_STATUS, kWaitMs));
        ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
        pipeline.reset();

        const std::wstring recorded = RecordedCommandLine(m_root / L"cwd.bin");
        const std::wstring folder = recorded.substr(0, recorded.find(L'\n'));
        ASSERT_FALSE(folder.empty());
        const std::wstring staged = folder + L"\\staged.bin";
        EXPECT_EQ(Utils::PathExists(staged), c.kept);
        EXPECT_EQ(WorkFoldersLeft().size(), c.kept ? 1u : 0u);
        const std::vector<std::wstring> deletions = PendingDeletions();
        if (c.kept) {
            EXPECT_FALSE(Utils::PathExists(folder + L"\\__Package_Vellumora.exe")) << "ours goes at once";
            const auto file = std::find(deletions.begin(), deletions.end(), L"\\??\\" + staged);
            const auto self = std::find(deletions.begin(), deletions.end(), L"\\??\\" + folder);
            EXPECT_TRUE(file != deletions.end() && self != deletions.end() && file < self)
                << "the staged file, then the folder, go at the restart";
        } else {
            EXPECT_TRUE(deletions.empty());
        }
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    }
    ::RegDeleteKeyValueW(
        HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", L"PendingFileRenameOperations");
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
            = std::make_unique<CDownloadInstaller>(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(PlanFor(m_server.FileUrl("pkg.exe"), oldUninstaller, m_installDir));
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

// The descriptor the folder is made with (Wine keeps no access lists, so it is checked here,
// where it is built, not read back from the folder).
TEST(WorkFolder, IsMadeWithAProtectedDescriptor)
{
    const struct {
        bool elevated;
        const wchar_t* sddl;
    } cases[] = {
        { true, L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)" },
        { false, L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)(A;OICI;0x1200a9;;;BU)" },
    };
    for (const auto& c : cases) {
        const std::wstring sddl = ::Pipeline::WorkFolderSddl(c.elevated, L"S-1-5-21-1-2-3-1001");
        EXPECT_EQ(sddl, c.sddl);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
        Utils::UniqueLocalMem owned(descriptor);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited";
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL acl = nullptr;
        ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
        ASSERT_TRUE(present && acl);
        BYTE users[SECURITY_MAX_SID_SIZE] = {};
        DWORD size = sizeof(users);
        ASSERT_TRUE(::CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &size));
        for (DWORD i = 0; i < acl->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(::GetAce(acl, i, reinterpret_cast<void**>(&ace)));
            if (::EqualSid(&ace->SidStart, users)) {
                EXPECT_EQ(ace->Mask
                        & (FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES
                            | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER),
                    0u)
                    << "users may only read and run";
            }
        }
    }
}

// Removal goes by handles: a read-only file and a subfolder go too; while held, the folder
// cannot be renamed; a folder that cannot be made is none (and says so), never a weaker one.
TEST(WorkFolder, IsHeldThenRemovedWithAllItHolds)
{
    TestSupport::LogCapture log;
    ::Pipeline::WorkFolder none = ::Pipeline::WorkFolder::Create(L"Q:\\no such drive\\");
    EXPECT_FALSE(none.Valid());
    EXPECT_FALSE(log.Matching(L"no work folder could be made in 'Q:\\no such drive\\'").empty());

    TestSupport::TempDir parent { L"workfolder" };
    ::Pipeline::WorkFolder folder = ::Pipeline::WorkFolder::Create(parent.Path());
    ASSERT_TRUE(folder.Valid());
    const std::wstring path = folder.Path();
    ASSERT_TRUE(Utils::EnsureDirectoryPath(path + L"sub\\deeper"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(path + L"sub\\deeper\\a.dll", "a"));
    ASSERT_TRUE(TestSupport::WriteFileBytes(path + L"ro.exe", "r"));
    ASSERT_TRUE(::SetFileAttributesW((path + L"ro.exe").c_str(), FILE_ATTRIBUTE_READONLY));
    const std::wstring bare = path.substr(0, path.size() - 1);
    EXPECT_FALSE(::MoveFileW(bare.c_str(), (bare + L".moved").c_str())) << "renamed while held";
    EXPECT_TRUE(folder.Remove());
    EXPECT_FALSE(Utils::PathExists(bare));

    // A link inside goes as itself, never what it points at (where the host lets the test
    // make one; Wine may keep the link itself, which it cannot delete through a handle).
    ::Pipeline::WorkFolder linked = ::Pipeline::WorkFolder::Create(parent.Path());
    ASSERT_TRUE(linked.Valid());
    const std::wstring target = parent / L"target";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(target));
    ASSERT_TRUE(TestSupport::WriteFileBytes(target + L"\\keep.txt", "keep"));
    if (!TestSupport::MakeUnixSymlink(target, linked.Path() + L"link")) {
        GTEST_SKIP() << "no host link can be made here";
    }
    linked.Remove();
    EXPECT_EQ(TestSupport::ReadFileBytes(target + L"\\keep.txt"), "keep");
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
        std::size_t size = 1536 * 1024;
    };
    // Single stream probes with HEAD and fetches without a range; the segmented downloader
    // fetches ranges (two from 20 MiB on, joined into the first one's file); WinHTTP fetches
    // with one plain GET. Whichever wrote it, the package is held as its writer left it and
    // its MD5 is not read a second time.
    for (const Case c : { Case { 0, true, false }, Case { 1, true, false }, Case { 4, true, false },
             Case { 2, false, false }, Case { 3, true, true }, Case { 3, true, true, 21 * 1024 * 1024 } }) {
        SCOPED_TRACE(c.type);
        SCOPED_TRACE(c.size);
        TestSupport::HttpTestServer server;
        server.AddBody("pkg.exe", PackageBody(c.size));
        TheInstallerConfig().DownloadType = c.type;
        SetPackageScript("out State=Success\n");
        TestSupport::LogCapture log;
        EventLog events;
        {
            CDownloadInstaller pipeline(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(PlanFor(server.FileUrl("pkg.exe"), L"", m_installDir));
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(IST_CODE_SUCCESS, kWaitMs));
        }
        EXPECT_EQ(!server.Requests("HEAD").empty(), c.expectHead);
        const auto gets = server.Requests("GET");
        ASSERT_FALSE(gets.empty());
        EXPECT_EQ(!gets.front().range.empty(), c.expectRange);
        if (c.size >= 20 * 1024 * 1024) {
            EXPECT_GE(gets.size(), 2u) << "two ranges";
        }
        EXPECT_EQ(log.Matching(L"package held as its writer left it (stamp matched)").size(), 1u);
        EXPECT_EQ(log.Matching(L"checked again as held").size(), 0u);
    }
}

// A layout ends after the checks: the held package, a copy of the running program and a
// settings file that points at the package go into the layout, and nothing is removed or run.
// Nothing is written through a link planted where the package's folder goes.
TEST_F(PipelineRun, ALayoutWritesTheCheckedPackageBesideTheInstallerAndRunsNothing)
{
    const std::wstring layout = m_root / L"layout";
    const std::wstring occupied = m_root / L"occupied";
    ASSERT_TRUE(TestSupport::WriteFileBytes(occupied, "a file"));
    EXPECT_NE(Pipeline::PrepareLayoutFolder(occupied + L"\\layout"), L"") << "a file in the way";
    ASSERT_EQ(Pipeline::PrepareLayoutFolder(layout), L"");
    const std::string md5 = m_server.Md5Of("pkg.exe");
    const std::wstring digestFolder = layout + L"\\" + Utils::MultiByteToWide(md5, CP_ACP);
    const std::wstring elsewhere = m_root / L"elsewhere";
    ASSERT_TRUE(Utils::EnsureDirectoryPath(elsewhere));
    const bool planted = TestSupport::MakeUnixSymlink(elsewhere, digestFolder);
    const std::wstring program = Utils::ModulePath().substr(Utils::ModulePath().find_last_of(L'\\') + 1);
    for (const bool linked : { true, false }) {
        if (linked && !planted) {
            continue;
        }
        SCOPED_TRACE(linked ? "a link planted" : "a plain folder");
        EventLog events;
        {
            CDownloadInstaller pipeline(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
            Pipeline::InstallPlan plan = PlanFor(m_server.FileUrl("pkg.exe"), MakeOldVersion(""), m_installDir);
            plan.layoutFolder = layout;
            plan.layoutSigners = std::wstring(64, L'A');
            pipeline.SetParams(plan);
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(linked ? LAYOUT_CODE_FAIL : LAYOUT_CODE_WRITTEN, kWaitMs));
        }
        const auto all = events.Events();
        EXPECT_EQ(CountOf(all, UNIST_CODE_PROGRESS) + CountOf(all, IST_CODE_START), 0u) << "nothing removed or run";
        EXPECT_FALSE(Utils::PathExists(m_installDir + L"\\Quorvel.exe"));
        EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});
        if (linked) {
            EXPECT_FALSE(Utils::PathExists(elsewhere + L"\\pkg.exe")) << "never through the link";
            EXPECT_EQ(events.WithCode(LAYOUT_CODE_FAIL).front().message, layout);
            ASSERT_TRUE(TestSupport::RemoveUnixLink(digestFolder));
            continue;
        }
        EXPECT_EQ(events.WithCode(LAYOUT_CODE_WRITTEN).front().message, digestFolder + L"\\pkg.exe");
        EXPECT_EQ(TestSupport::ReadFileBytes(digestFolder + L"\\pkg.exe"), *PackageBody());
        EXPECT_EQ(
            TestSupport::ReadFileBytes(layout + L"\\" + program), TestSupport::ReadFileBytes(Utils::ModulePath()));
        EXPECT_EQ(TestSupport::ReadFileBytes(layout + L"\\TarvikInstallerConfig.ini"),
            "\xEF\xBB\xBF; An offline layout: the installer beside this file installs the package in the folder\r\n"
            "; named by its MD5, wherever the layout is copied.\r\n[Install]\r\nDownloadUrl="
                + md5 + "\\pkg.exe\r\nIsCheckNet=false\r\nPackageSigner=" + std::string(64, 'A') + "\r\n");
    }
}

TEST_F(PipelineRun, PackageFilesAreDeletedAfterFailures)
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
    EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});

    m_installDir = m_root / L"second";
    SetPackageScript("out State=Fail\n");
    auto pipeline = MakePipeline(m_server.FileUrl("pkg.exe"));
    pipeline->Start();
    ASSERT_TRUE(m_events.WaitForEvent({ IST_CODE_FAIL, 0.0, L"安装包安装失败" }, kWaitMs));
    pipeline.reset();
    EXPECT_EQ(WorkFoldersLeft(), std::set<std::wstring> {});
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
            = std::make_unique<CDownloadInstaller>(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        pipeline->SetParams(PlanFor(m_server.FileUrl("pkg.exe"), oldUninstaller, m_installDir));
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
        EXPECT_EQ(events.WithCode(c.last.code).back(), c.last);
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
// download (event 1004 that says why beside it): never started, file deleted, reason logged.
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
            CDownloadInstaller pipeline(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
            pipeline.SetParams(PlanFor(server.FileUrl("pkg.exe"), L"", m_installDir));
            pipeline.Start();
            ASSERT_TRUE(events.WaitForCode(runs ? IST_CODE_SUCCESS : 1004, kWaitMs));
        }
        const auto all = events.Events();
        EXPECT_EQ(CountOf(all, IST_CODE_START), runs ? 1u : 0u);
        EXPECT_EQ(CountOf(all, 1003), runs ? 1u : 0u) << "a refused package is no successful download";
        if (!runs) {
            EXPECT_EQ(all.back(), (StageEvent { 1004, 0.0, L"Signature", StageCause::SignatureRefused }));
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
    ASSERT_TRUE(m_events.WaitForEvent(
        { UNIST_CODE_FAIL, kFailSignatureRefused, L"可执行卸载文件不存在", StageCause::SignatureRefused }, kWaitMs));
    ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
    pipeline.reset();
    EXPECT_EQ(CountOf(m_events.Events(), 1003), 1u) << "the package was acquired first";
    EXPECT_EQ(CountOf(m_events.Events(), IST_CODE_START), 0u);
    EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"uninstaller-cmdline.bin").empty());
    EXPECT_TRUE(TestSupport::ReadFileBytes(m_root / L"package-cmdline.bin").empty());
    EXPECT_FALSE(log.Matching(L"old uninstaller signature refused: no signature").empty());
}

// A machine-wide installation's uninstaller runs as an administrator or the system: unpinned,
// only a copy read from a folder reached without a link runs (the folders' descriptors decide
// on Windows; Wine keeps none, so only the link shows here), and a folder the run makes for a
// machine-wide installation is protected.
TEST_F(PipelineRun, UnpinnedAMachineWideOldUninstallerRunsOnlyFromAProtectedFolder)
{
    SetPackageScript("out State=Success\n");
    const std::wstring oldUninstaller = MakeOldVersion("out State=Success\n");
    const std::wstring linked = m_root / L"linked old version";
    const bool linkMade = TestSupport::MakeUnixSymlink(m_root / L"old version", linked);
    const struct {
        const char* name;
        std::wstring uninstaller;
        bool runs;
    } cases[] = {
        { "its own folder", oldUninstaller, true },
        { "through a link", linked + L"\\uninst.ep", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.runs && !linkMade) {
            continue;
        }
        ::DeleteFileW((m_root / L"uninstaller-cmdline.bin").c_str());
        ::DeleteFileW((m_root / L"package-cmdline.bin").c_str());
        TestSupport::LogCapture log;
        EventLog events;
        auto pipeline
            = std::make_unique<CDownloadInstaller>(events.Sink(), Config::MakeRunSettings(TheInstallerConfig()));
        Pipeline::InstallPlan plan = PlanFor(m_server.FileUrl("pkg.exe"), c.uninstaller, m_installDir);
        plan.oldUninstallerMachineWide = true;
        pipeline->SetParams(plan);
        pipeline->Start();
        ASSERT_TRUE(events.WaitForCode(
            c.runs ? static_cast<int>(IST_CODE_SUCCESS) : static_cast<int>(UNIST_CODE_FAIL), kWaitMs));
        ASSERT_TRUE(pipeline->WaitForChildRuns(kWaitMs));
        pipeline.reset();
        EXPECT_EQ(TestSupport::ReadFileBytes(m_root / L"uninstaller-cmdline.bin").empty(), !c.runs);
        EXPECT_EQ(TestSupport::ReadFileBytes(m_root / L"package-cmdline.bin").empty(), !c.runs);
        EXPECT_EQ(log.Matching(L"a link is on the way to its folder, and no signer is pinned").empty(), c.runs);
    }
    if (linkMade) {
        EXPECT_TRUE(TestSupport::RemoveUnixLink(linked));
    }

    // Made with the protection the descriptor test judges (Wine cannot read it back).
    const std::wstring machineFolder = m_root / L"machine\\Vellumora";
    ASSERT_TRUE(Pipeline::MakeInstallFolder(machineFolder, Config::InstallScope::Machine));
    EXPECT_TRUE(Utils::PathExists(machineFolder));
}
