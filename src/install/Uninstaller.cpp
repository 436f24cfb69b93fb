#include "install/Uninstaller.h"

#include "install/AdminProbes.h"
#include "install/ChildRun.h"
#include "install/CommandLine.h"
#include "install/LineProtocol.h"
#include "install/PackageSignature.h"
#include "install/StageCodes.h"
#include "utils/FileSystem.h"
#include "utils/Log.h"
#include "utils/Text.h"

CUninstaller::CUninstaller(StageCallback callback, std::wstring uninstallerPath, std::wstring installedDir)
    : m_uninstallerPath(std::move(uninstallerPath))
    , m_installedDir(std::move(installedDir))
    , m_runner(std::move(callback))
{
}

CUninstaller::~CUninstaller()
{
    Stop();
}

void CUninstaller::Start()
{
    m_runner.JoinPrevious();
    m_commandLine = BuildCommandLine();
    m_runner.Start(L"UnInstaller", [this] { Run(); });
}

void CUninstaller::Stop()
{
    m_runner.Stop();
}

bool CUninstaller::WaitForRun(DWORD timeoutMs) const
{
    return m_runner.WaitForRun(timeoutMs);
}

void CUninstaller::Raise(int code, double progress, const std::wstring& message)
{
    m_runner.Raise(code, progress, message);
}

std::wstring CUninstaller::BuildCommandLine() const
{
    // "_?=" stays last and unquoted: this kind of uninstaller takes the rest of the line as
    // the folder.
    return BuildChildCommandLine(m_uninstallerPath,
        { ChildArgument::PlainText(L"/S"), ChildArgument::Flag(L"-adminact=", Utils::IsConsoleUserAdmin()),
            ChildArgument::Flag(L"-authorizationact=", Utils::IsProcessAdmin()),
            ChildArgument::PlainText(L"-console=show") },
        L"_?=" + m_installedDir);
}

void CUninstaller::Run()
{
    RunRemoval();
    if (m_runEnded) {
        m_runEnded();
    }
}

void CUninstaller::RunRemoval()
{
    if (m_beforeRun) {
        if (const int failure = m_beforeRun(m_runner.StopEvent()); failure != 0) {
            Raise(UNIST_CODE_FAIL, failure, L"");
            return;
        }
    }
    if (!Utils::PathExists(m_uninstallerPath)) {
        Raise(UNIST_CODE_FAIL, 1.0, L"可执行卸载文件不存在");
        return;
    }
    // The installed copy's path comes from a registry value any program of the user can
    // write, and the copy runs elevated: with a pin, it runs only when signed by our signer.
    Utils::UniqueFileHandle lock;
    if (m_signerPin.Checks()) {
        Signature::Result check = Signature::CheckFile(m_uninstallerPath, m_signerPin);
        LOG(L"old uninstaller %s\r\n", check.Describe().c_str());
        if (!check.Accepted()) {
            ::DeleteFileW(m_uninstallerPath.c_str());
            // The user sees what a missing copy shows; the code tells the refusal apart.
            Raise(UNIST_CODE_FAIL, kFailSignatureRefused, L"可执行卸载文件不存在");
            return;
        }
        lock = std::move(check.lock); // held until the run is over
    }
    Raise(UNIST_CODE_PROGRESS, 0.0, L"");
    LOG(L"command line: %s\r\n", m_commandLine.c_str());

    bool noVerdict = true;
    const ChildRunResult result = RunChildForLines(
        m_commandLine, m_runner.StopEvent(),
        [&](const std::vector<std::string>& lines) {
            int chunkVerdict = LineProtocol::kNoVerdict;
            for (const std::string& line : lines) {
                chunkVerdict = LineProtocol::CombineVerdict(
                    chunkVerdict, Parse(LineProtocol::DecodeLine(line, static_cast<UINT>(m_codePage))));
            }
            if (chunkVerdict != LineProtocol::kNoVerdict) {
                noVerdict = false;
            }
        },
        m_timeLimitMs, [&] { return !noVerdict; });

    switch (result.status) {
    case ChildRunResult::Status::StartFailed:
        Raise(UNIST_CODE_FAIL, 2.0, L"");
        return;
    case ChildRunResult::Status::Stopped:
        LOG(L"stopped\r\n");
        return;
    case ChildRunResult::Status::TimedOut:
        LOG(L"the old version's uninstaller did not finish within its time limit (%llu s); it and every process it "
            L"started were ended\r\n",
            m_timeLimitMs / 1000);
        // Even after a success line: an uninstaller ended half-way has left the old version
        // partly removed, and the package must not be started over it as if all were well.
        Raise(UNIST_CODE_FAIL, kFailTimedOut, L"");
        return;
    case ChildRunResult::Status::Ended:
        break;
    }
    if (!noVerdict) {
        return;
    }
    if (result.exitCode == 0) {
        Raise(UNIST_CODE_SUCCESS, 1.0, L"");
        return;
    }
    const std::wstring status = ExitStatusText(result.exitCode);
    LOG(L"the old uninstaller ended without a verdict, status %s: failed\r\n", status.c_str());
    Raise(UNIST_CODE_ERROR, kFailedExitStatus, L"卸载程序异常退出（退出码 " + status + L"）");
}

int CUninstaller::Parse(const std::wstring& text)
{
    using namespace LineProtocol;
    int verdict = kNoVerdict;
    for (const std::wstring_view line : SplitLines(text)) {
        if (const auto value = ValueAfterKey(line, L"Progress=")) {
            Raise(UNIST_CODE_PROGRESS, NumberValue(*value), L"");
        } else if (const auto value = ValueAfterKey(line, L"Error=")) {
            Raise(UNIST_CODE_ERROR, 0.0, TextValue(*value));
            verdict = kVerdictFailure;
        } else if (const auto value = ValueAfterKey(line, L"State=")) {
            const std::wstring state = Utils::Trim(TextValue(*value));
            if (state == L"Success") {
                Raise(UNIST_CODE_SUCCESS, 0.0, L"");
                verdict = kVerdictSuccess;
            } else if (state == L"Fail") {
                Raise(UNIST_CODE_ERROR, 0.0, L"安装包卸载失败");
                verdict = kVerdictFailure;
            }
        } else if (const auto value = ValueAfterKey(line, L"Encode=")) {
            if (const auto codePage = EncodeCodePage(Utils::Trim(TextValue(*value)))) {
                m_codePage = static_cast<int>(*codePage);
            }
        }
    }
    return verdict;
}
