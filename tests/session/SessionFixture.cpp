#include "SessionFixture.h"

#include "support/ProcessRunner.h"
#include "utils/FileSystem.h"
#include "utils/Registry.h"
#include "utils/Text.h"

namespace SessionTest {

void DeleteRecords()
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, Utils::kProductRegistryKey, KEY_WOW64_32KEY, 0);
}

SessionFixture::SessionFixture()
{
    DeleteRecords();
    // The scripted child, padded past the single-stream downloader's 1 MiB floor.
    std::string bytes = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
    bytes.resize(std::max<std::size_t>(bytes.size(), 1536 * 1024), '\0');
    server.AddBody("pkg.exe", std::make_shared<const std::string>(std::move(bytes)));
}

SessionFixture::~SessionFixture()
{
    DeleteRecords();
    ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", nullptr);
}

std::string SessionFixture::Utf8(const std::wstring& text)
{
    return Utils::WideToMultiByte(text, CP_UTF8);
}

Config::RunSettings SessionFixture::Settings() const
{
    Config::RunSettings settings;
    settings.downloadUrl = TestSupport::WideUrl(server.FileUrl("pkg.exe"));
    settings.packageTimeLimitMs = 20000;
    return settings;
}

void SessionFixture::SetPackageScript(const std::string& script) const
{
    Utils::EnsureDirectoryPath(InstallFolder());
    TestSupport::WriteFileBytes(InstallFolder() + L"\\__Package_Vellumora.script", script);
}

std::wstring SessionFixture::MakeOldVersion(const std::string& script) const
{
    const std::wstring folder = m_root / L"old version";
    Utils::EnsureDirectoryPath(folder);
    ::CopyFileW(
        (TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe").c_str(), (folder + L"\\uninst.ep").c_str(), FALSE);
    const std::wstring scriptPath = m_root / L"uninstaller.script";
    TestSupport::WriteFileBytes(scriptPath, script);
    ::SetEnvironmentVariableW(L"VLM_CHILD_SCRIPT_TarvikQuill_un_asa", scriptPath.c_str());
    Utils::WriteRegistryString(Utils::RecordRoot::User, L"InstallPath", folder);
    Utils::WriteRegistryString(Utils::RecordRoot::User, L"UnInstallEp", folder + L"\\uninst.ep");
    return folder;
}

void RecordingFace::Run(Session::SessionRun& run)
{
    m_run = &run;
    run.Post(m_first);
    const ULONGLONG deadline = ::GetTickCount64() + 20000;
    while (!verdict && !refusal && ::GetTickCount64() < deadline) {
        SessionFixture::PumpUntil(
            run, [this] { return verdict || refusal; }, 100);
        if (between) {
            between();
        }
    }
    m_run = nullptr;
}

void RecordingFace::Confirm()
{
    m_run->Post({ m_confirms ? Session::Intent::Kind::Apply : Session::Intent::Kind::Cancel });
}

namespace {

class StandInPipeline final : public Pipeline::StagePipeline {
public:
    explicit StandInPipeline(StandInStages& stages)
        : m_stages(stages)
    {
    }
    void SetStartGate(StartGate) override { }
    void SetParams(const Pipeline::InstallPlan& plan) override { m_stages.plans.push_back(plan); }
    void Start() override
    {
        ++m_stages.starts;
        for (const StageEvent& event : m_stages.events) {
            m_stages.sink(event);
        }
    }
    void Stop() override { }
    bool WaitForChildRuns(DWORD) const override { return true; }

private:
    StandInStages& m_stages;
};

} // namespace

Session::SessionRun::PipelineMaker StandInStages::Maker()
{
    return [this](StageEventSink runSink) {
        sink = std::move(runSink);
        return std::make_unique<StandInPipeline>(*this);
    };
}

bool SessionFixture::PumpUntil(Session::SessionRun& run, const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    run.PumpUntil([&] { return done() || ::GetTickCount64() >= deadline; });
    return done();
}

RunningProduct::RunningProduct(const std::wstring& folder)
{
    Utils::EnsureDirectoryPath(folder);
    const std::wstring product = folder + L"\\Quorvel.exe";
    ::CopyFileW((TestSupport::BinDirectory() + L"\\vlm_sleeper.exe").c_str(), product.c_str(), FALSE);
    STARTUPINFOW startup { sizeof(startup) };
    PROCESS_INFORMATION info {};
    std::wstring line = TestSupport::QuoteArgument(product) + L" 60000";
    if (::CreateProcessW(
            nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        Utils::UniqueHandle thread(info.hThread);
        m_process = Utils::UniqueHandle(info.hProcess);
    }
}

RunningProduct::~RunningProduct()
{
    End();
}

void RunningProduct::End()
{
    if (m_process) {
        ::TerminateProcess(m_process.get(), 0);
        ::WaitForSingleObject(m_process.get(), 5000);
        m_process.reset();
    }
}

} // namespace SessionTest
