#include "app/QuietRun.h"

#include "config/ExitCodes.h"
#include "config/Language.h"
#include "session/SessionRun.h"
#include "toolkit/SkinArchive.h"
#include "ui/UiTexts.h"
#include "utils/Log.h"

namespace App {
namespace {

constexpr int kNoCode = -2;

// What the window would have said: the reason, then its prompt's words (which an ANSI
// debugger channel may not carry) and the details.
void LogPrompt(const wchar_t* reason, const UiText& text, const std::wstring& detail = L"")
{
    LOG(L"quiet: %s (%s)%s%s\r\n", reason, text.literal, detail.empty() ? L"" : L": ", detail.c_str());
}

// A skin with a language table offers a language list, whose one-click install tells the
// package its language; the default one says none.
bool SkinOffersLanguages()
{
    return Toolkit::ReadSkinFile(L"language.json").has_value();
}

void LogRefusal(const Session::Outcome& refusal, const std::wstring& folder)
{
    switch (refusal.verdict) {
    case Session::Verdict::ProductRunning:
        LogPrompt(
            refusal.oldUninstallerRunning ? L"an old version's uninstaller is running" : L"the product is running",
            UiTexts::kProductRunning);
        break;
    case Session::Verdict::InvalidFolder:
        LogPrompt(L"invalid folder", UiTexts::kInvalidPath, folder);
        break;
    case Session::Verdict::LowDiskSpace:
        LogPrompt(L"less than 1 GB free", UiTexts::kLowDiskSpace, folder);
        break;
    default:
        break;
    }
}

class QuietFace final : public Session::InstallFace {
public:
    explicit QuietFace(const Session::InstallSession& session)
        : m_session(session)
    {
    }
    int ExitCode() const noexcept { return m_exitCode; }

    void WaitingForProduct(bool waiting) override
    {
        if (waiting) {
            LogPrompt(L"waiting for the product to exit", UiTexts::kProductRunning);
        }
    }
    void ShowPackageMessage(const std::wstring& text) override
    {
        LogPrompt(L"the package says", UiTexts::kPackageMessage, text);
    }
    void Concluded(const Session::Outcome& outcome) override
    {
        switch (outcome.verdict) {
        case Session::Verdict::Installed:
            LOG(L"quiet: installed into '%s'\r\n", m_session.Folder().c_str());
            if (outcome.restartRequired) {
                LOG(L"quiet: the computer must restart before the product is used: exit code %d\r\n",
                    Config::ExitCode::kRestartRequired);
            }
            break;
        case Session::Verdict::SignatureRefused:
            LOG(L"quiet: the package's signature was refused\r\n");
            break;
        case Session::Verdict::DownloadFailed:
            LOG(L"quiet: download failed (当前网络环境较差，请在网络通畅时进行重试): %s\r\n", outcome.message.c_str());
            break;
        case Session::Verdict::PackageFailed:
            LogPrompt(L"the package reported failure", UiTexts::kInstallFailed, outcome.message);
            break;
        case Session::Verdict::PackageTimedOut:
            LOG(L"quiet: the package did not finish in time\r\n");
            break;
        case Session::Verdict::RemovalFailed:
            LogPrompt(L"the old version's removal failed", UiTexts::kProductRunning, outcome.message);
            break;
        default:
            LogRefusal(outcome, m_session.Folder());
            break;
        }
        m_exitCode
            = outcome.restartRequired ? Config::ExitCode::kRestartRequired : Session::ExitCodeOf(outcome.verdict);
    }

private:
    const Session::InstallSession& m_session;
    int m_exitCode = kNoCode;
};

} // namespace

int RunQuiet(Session::SessionRun& run)
{
    Session::InstallSession& session = run.Install();
    if (auto refusal = session.CheckUnattendedSettings()) {
        session.EndWith(*refusal);
        LOG(L"quiet: nothing installed, exit code %d\r\n", Session::ExitCodeOf(refusal->verdict));
        return Session::ExitCodeOf(refusal->verdict);
    }
    LOG(L"quiet mode: no window; the exit code tells the result\r\n");
    if (!run.Opened()) {
        return Config::ExitCode::kInternalFailure;
    }
    const std::wstring folder = session.OneClickFolder();
    const std::wstring language
        = SkinOffersLanguages() ? Utils::InstallLanguageCode(session.InitialLanguage()) : std::wstring();
    if (auto refusal = session.Prepare(
            { folder, run.Settings().shortcuts.desktop, run.Settings().shortcuts.quickLaunch, language })) {
        LogRefusal(*refusal, folder);
        session.EndWith(*refusal);
        LOG(L"quiet: nothing installed, exit code %d\r\n", Session::ExitCodeOf(refusal->verdict));
        return Session::ExitCodeOf(refusal->verdict);
    }
    if (run.Settings().checkNetwork) {
        // The window's check only ever warns; here the download itself decides.
        LOG(L"quiet: network check skipped, the download decides\r\n");
    }
    QuietFace face(session);
    run.Attach(&face);
    session.Start();
    run.PumpUntil([&face] { return face.ExitCode() != kNoCode; });
    run.Attach(nullptr);
    return face.ExitCode();
}

} // namespace App
