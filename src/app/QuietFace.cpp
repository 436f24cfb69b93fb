#include "app/QuietFace.h"

#include "config/Language.h"
#include "session/SessionRun.h"
#include "toolkit/SkinArchive.h"
#include "ui/RemovalTexts.h"
#include "ui/UiTexts.h"
#include "utils/Log.h"

namespace App {
namespace {

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

void LogRefusal(const Session::Outcome& refusal)
{
    switch (refusal.verdict) {
    case Session::Verdict::ProductRunning:
        LogPrompt(
            refusal.oldUninstallerRunning ? L"an old version's uninstaller is running" : L"the product is running",
            UiTexts::kProductRunning);
        break;
    case Session::Verdict::InvalidFolder:
        LogPrompt(L"invalid folder", UiTexts::kInvalidPath, refusal.message);
        break;
    case Session::Verdict::LowDiskSpace:
        LogPrompt(L"less than 1 GB free", UiTexts::kLowDiskSpace, refusal.message);
        break;
    default:
        break;
    }
}

} // namespace

void QuietFace::Run(Session::SessionRun& run)
{
    m_run = &run;
    m_removal = Session::IsRemoval(run.Kind());
    m_layout = run.Kind() == Session::RunKind::Layout;
    if (m_removal) {
        run.Post({ Session::Intent::Kind::Remove });
    } else if (m_layout) {
        run.Post({ Session::Intent::Kind::Layout });
    } else {
        Session::InstallSession& session = run.Install();
        const Config::RunSettings& settings = run.Settings();
        const std::wstring language
            = SkinOffersLanguages() ? Utils::InstallLanguageCode(session.InitialLanguage()) : std::wstring();
        if (settings.checkNetwork) {
            // The window's check only ever warns; here the download itself decides.
            LOG(L"quiet: network check skipped, the download decides\r\n");
        }
        run.Post({ Session::Intent::Kind::Install,
            { session.OneClickFolder(), settings.shortcuts.desktop, settings.shortcuts.quickLaunch, language } });
    }
    run.PumpUntil([this] { return m_done; });
    m_run = nullptr;
}

void QuietFace::WaitingForProduct(bool waiting)
{
    if (!waiting) {
        return;
    }
    if (m_removal) {
        LOG(L"quiet: waiting for the product to exit before its uninstaller runs\r\n");
    } else {
        LogPrompt(L"waiting for the product to exit", UiTexts::kProductRunning);
    }
}

void QuietFace::ShowPackageMessage(const std::wstring& text)
{
    if (!m_removal) {
        LogPrompt(L"the package says", UiTexts::kPackageMessage, text);
    }
}

void QuietFace::Refused(const Session::Outcome& refusal)
{
    if (m_removal) {
        LogRemovalResult(refusal, L"quiet: ");
    } else {
        LogRefusal(refusal);
        LOG(L"quiet: nothing %s, exit code %d\r\n", m_layout ? L"written" : L"installed",
            Session::RunExitCode(m_run->Kind(), refusal));
    }
    m_done = true;
}

void QuietFace::Confirm()
{
    m_run->Post({ Session::Intent::Kind::Apply });
}

void QuietFace::Concluded(const Session::Outcome& outcome)
{
    m_done = true;
    if (m_removal) {
        LogRemovalResult(outcome, L"quiet: ");
        return;
    }
    switch (outcome.verdict) {
    case Session::Verdict::Installed:
        LOG(L"quiet: installed into '%s'\r\n", m_run->Install().Folder().c_str());
        if (outcome.restartRequired) {
            LOG(L"quiet: the computer must restart before the product is used: exit code %d\r\n",
                Session::RunExitCode(m_run->Kind(), outcome));
        }
        break;
    case Session::Verdict::LayoutWritten:
        LOG(L"quiet: layout written into '%s', the package as '%s'\r\n", m_run->Install().Folder().c_str(),
            outcome.message.c_str());
        break;
    case Session::Verdict::InvalidValue:
        LOG(L"quiet: the layout could not be written into '%s'\r\n", outcome.message.c_str());
        break;
    case Session::Verdict::SignatureRefused:
        LOG(L"quiet: the package's signature was refused\r\n");
        break;
    case Session::Verdict::DowngradeRefused:
        LOG(L"quiet: the package is older than the installed version (-allowdowngrade=true allows it): %s\r\n",
            outcome.message.c_str());
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
        LogRefusal(outcome);
        break;
    }
}

} // namespace App
