#include "install/Installer.h"

#include "install/ChildRun.h"
#include "install/CommandLine.h"
#include "install/LineProtocol.h"
#include "install/StageCodes.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/Text.h"

namespace {

// The status by which silent installers say "installed; the computer must restart".
constexpr DWORD kStatusRestartRequired = 3010;

double StartupStyleValue(const std::wstring& style)
{
    if (style == L"AutoStartup") {
        return 1.0;
    }
    if (style == L"UserStartup") {
        return 2.0;
    }
    return 0.0; // "NonStartup" and anything unknown
}

} // namespace

CInstaller::CInstaller(
    StageCallback callback, std::wstring packagePath, std::wstring installDir, Pipeline::PackageCommand command)
    : m_packagePath(std::move(packagePath))
    , m_installDir(std::move(installDir))
    , m_command(std::move(command))
    , m_runner(std::move(callback))
{
}

CInstaller::~CInstaller()
{
    Stop();
}

void CInstaller::SetPackage(std::wstring packagePath, std::wstring installDir, Pipeline::PackageCommand command)
{
    m_packagePath = std::move(packagePath);
    m_installDir = std::move(installDir);
    m_command = std::move(command);
}

void CInstaller::Start()
{
    m_runner.JoinPrevious();
    m_commandLine = BuildCommandLine();
    m_runner.Start(L"ABDEF", [this] { Run(); });
}

void CInstaller::Stop()
{
    m_runner.Stop();
}

bool CInstaller::WaitForRun(DWORD timeoutMs) const
{
    return m_runner.WaitForRun(timeoutMs);
}

void CInstaller::Raise(int code, double progress, const std::wstring& message)
{
    m_runner.Raise(code, progress, message);
}

std::wstring CInstaller::BuildCommandLine() const
{
    // "-version=1.0.0" is the package protocol's own constant, not the installer's version.
    std::vector<ChildArgument> arguments { ChildArgument::PlainText(L"/S"), ChildArgument::PlainText(L"-console=show"),
        ChildArgument::PlainText(L"-version=1.0.0"), ChildArgument::Flag(L"-adminact=", m_command.adminact),
        ChildArgument::Flag(L"-authorizationact=", m_command.authorizationact),
        ChildArgument::Flag(L"-dsc=", m_command.desktopShortcut),
        ChildArgument::Flag(L"-ssc=", m_command.quickLaunch) };
    if (!m_command.language.empty()) {
        arguments.push_back(ChildArgument::Named(L"-inslang=", m_command.language));
    }
    if (!m_command.extraArguments.empty()) {
        arguments.push_back(ChildArgument::AsGiven(m_command.extraArguments));
    }
    if (m_installDir.empty()) {
        return BuildChildCommandLine(m_packagePath, arguments);
    }
    arguments.push_back(ChildArgument::Named(L"-instdir=", m_installDir));
    return BuildChildCommandLine(m_packagePath, arguments, L"/D=" + m_installDir);
}

void CInstaller::Run()
{
    Utils::UniqueFileHandle lock = std::move(m_packageLock);
    RunPackage();
    lock.reset(); // before the clean-up deletes the file
    if (m_runEnded) {
        m_runEnded();
    }
}

void CInstaller::RunPackage()
{
    if (m_beforeRun) {
        if (const int failure = m_beforeRun(m_runner.StopEvent()); failure != 0) {
            Raise(IST_CODE_FAIL, failure, L"");
            return;
        }
    }
    Raise(IST_CODE_START, 0.0, L"");
    if (m_packagePath.empty()) {
        Raise(IST_CODE_FAIL, 1.0, L"");
        return;
    }
    Raise(IST_CODE_PROGRESS, 0.0, L"");
    // The extra arguments may carry the product team's secrets: their length only, unless
    // the team asked for them in the log.
    LOG(L"command line: %s\r\n",
        (m_command.logExtraArguments ? m_commandLine : Utils::HideSecret(m_commandLine, m_command.extraArguments))
            .c_str());

    // After a verdict the output is still read to its end, unparsed, so a package that
    // keeps writing never blocks on a full pipe while we wait for it to finish.
    int verdict = LineProtocol::kNoVerdict;
    const ChildRunResult result = RunChildForLines(
        m_commandLine, m_runner.StopEvent(),
        [&](const std::vector<std::string>& lines) {
            if (verdict != LineProtocol::kNoVerdict) {
                return;
            }
            int chunkVerdict = LineProtocol::kNoVerdict;
            for (const std::string& line : lines) {
                // Decoded one line at a time, so an "Encode=" line governs the next line.
                chunkVerdict = LineProtocol::CombineVerdict(
                    chunkVerdict, Parse(LineProtocol::DecodeLine(line, static_cast<UINT>(m_codePage))));
            }
            verdict = chunkVerdict;
        },
        m_timeLimitMs, [&] { return verdict != LineProtocol::kNoVerdict; });

    switch (result.status) {
    case ChildRunResult::Status::StartFailed:
        Raise(IST_CODE_FAIL, 2.0, L"");
        return;
    case ChildRunResult::Status::Stopped:
        LOG(L"stopped\r\n");
        return;
    case ChildRunResult::Status::TimedOut:
        LOG(L"the package did not finish within its time limit (%llu s); it and every process it started were "
            L"ended\r\n",
            m_timeLimitMs / 1000);
        // A verdict the package gave in time stands.
        if (verdict == LineProtocol::kNoVerdict) {
            Raise(IST_CODE_FAIL, kFailTimedOut, L"");
        }
        return;
    case ChildRunResult::Status::Ended:
        break;
    }
    Raise(IST_CODE_EXIT_STATUS, static_cast<double>(result.exitCode), L"");
    if (verdict != LineProtocol::kNoVerdict) {
        return;
    }
    // Packages that do not speak the protocol (plain silent installers) say it with their
    // status; a crash must not count as an installation. 3010 is the usual "installed, the
    // computer must restart" of silent installers.
    if (result.exitCode == kStatusRestartRequired) {
        LOG(L"the package ended without a verdict, status 3010: installed, the computer must restart\r\n");
        Raise(IST_CODE_RESTART_REQUIRED, 0.0, L"");
    }
    if (result.exitCode == 0 || result.exitCode == kStatusRestartRequired) {
        Raise(IST_CODE_SUCCESS, 1.0, L"");
        return;
    }
    const std::wstring status = ExitStatusText(result.exitCode);
    LOG(L"the package ended without a verdict, status %s: failed\r\n", status.c_str());
    Raise(IST_CODE_FAIL, kFailedExitStatus, L"安装包异常退出（退出码 " + status + L"）");
}

void CInstaller::ApplyEncode(const std::wstring& value)
{
    if (const auto codePage = LineProtocol::EncodeCodePage(value)) {
        m_codePage = static_cast<int>(*codePage);
    } else {
        LOG(L"unknown code page \"%s\"; keeping %d\r\n", value.c_str(), m_codePage);
    }
}

int CInstaller::Parse(const std::wstring& text)
{
    using namespace LineProtocol;
    int verdict = kNoVerdict;
    for (const std::wstring_view line : SplitLines(text)) {
        if (const auto value = ValueAfterKey(line, L"Progress=")) {
            Raise(IST_CODE_PROGRESS, NumberValue(*value), L"");
        } else if (const auto value = ValueAfterKey(line, L"InstPath=")) {
            Raise(IST_CODE_INST_PATH, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"State=")) {
            const std::wstring state = Utils::Trim(TextValue(*value));
            if (state == L"Success") {
                Raise(IST_CODE_SUCCESS, 0.0, L"");
                verdict = kVerdictSuccess;
            } else if (state == L"Fail") {
                Raise(IST_CODE_FAIL, 0.0, L"安装包安装失败");
                verdict = kVerdictFailure;
            }
        } else if (const auto value = ValueAfterKey(line, L"InstallVersion=")) {
            int parts[3] = { m_version.major, m_version.minor, m_version.patch };
            ReadVersion(*value, parts);
            m_version = Version { parts[0], parts[1], parts[2] };
            Raise(IST_CODE_INSTALL_VERSION, 0.0, Utils::Trim(TextValue(*value)));
        } else if (const auto value = ValueAfterKey(line, L"ExePath=")) {
            const std::wstring path = TextValue(*value);
            LOG(L"ExePath: %s\r\n", path.c_str());
            Raise(IST_CODE_EXE_PATH, 0.0, path);
        } else if (const auto value = ValueAfterKey(line, L"StartExe=")) {
            Raise(IST_CODE_EXE_PATH, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"UninstExePath=")) {
            Raise(IST_CODE_UNINST_EXE, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"UninstExe=")) {
            Raise(IST_CODE_UNINST_EXE, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"UninstEp=")) {
            Raise(IST_CODE_UNINST_EP, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"Error=")) {
            Raise(IST_CODE_FAIL, 1000.0, TextValue(*value));
            verdict = kVerdictFailure;
        } else if (auto value = ValueAfterKey(line, L"TopShowDetention=")) {
            Raise(IST_CODE_TOP_SHOW_DETENTION, static_cast<double>(IntegerValue(*value).value_or(0)), L"");
        } else if (auto value = ValueAfterKey(line, L"FinsihCloseDetention=")) {
            Raise(IST_CODE_FINISH_CLOSE_DETENTION, static_cast<double>(IntegerValue(*value).value_or(0)), L"");
        } else if (const auto value = ValueAfterKey(line, L"StartUrl=")) {
            Raise(IST_CODE_START_URL, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"StartupStyle=")) {
            Raise(IST_CODE_STARTUP_STYLE, StartupStyleValue(Utils::Trim(TextValue(*value))), L"");
        } else if (const auto value = ValueAfterKey(line, L"Encode=")) {
            ApplyEncode(Utils::Trim(TextValue(*value)));
        } else if (const auto value = ValueAfterKey(line, L"Message=")) {
            Raise(IST_CODE_MESSAGE, 0.0, TextValue(*value));
        } else if (const auto value = ValueAfterKey(line, L"Restart=")) {
            if (Utils::Trim(TextValue(*value)) == L"Required") {
                Raise(IST_CODE_RESTART_REQUIRED, 0.0, L"");
            }
        }
    }
    return verdict;
}
