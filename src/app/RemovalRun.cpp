#include "app/RemovalRun.h"

#include <windows.h>

#include <optional>

#include "config/ExitCodes.h"
#include "session/SessionRun.h"
#include "utils/Log.h"

namespace App {
namespace {

constexpr wchar_t kTitle[] = L"Vellumora";

class RemovalFace final : public Session::InstallFace {
public:
    explicit RemovalFace(const wchar_t* prefix)
        : m_prefix(prefix)
    {
    }
    const std::optional<Session::Outcome>& Outcome() const noexcept { return m_outcome; }

    void WaitingForProduct(bool waiting) override
    {
        if (waiting) {
            LOG(L"%swaiting for the product to exit before its uninstaller runs\r\n", m_prefix);
        }
    }
    void ShowPackageMessage(const std::wstring&) override { }
    void Concluded(const Session::Outcome& outcome) override { m_outcome = outcome; }

private:
    const wchar_t* m_prefix;
    std::optional<Session::Outcome> m_outcome;
};

// What the window says at the end (the program's prompts are Simplified Chinese literals).
const wchar_t* ResultText(Session::Verdict verdict)
{
    switch (verdict) {
    case Session::Verdict::Removed:
        return L"Vellumora已卸载";
    case Session::Verdict::NothingInstalled:
        return L"未检测到已安装的Vellumora";
    case Session::Verdict::ProductRunning:
        return L"Vellumora正在运行，请退出程序后再卸载";
    default:
        return L"卸载失败";
    }
}

int Tell(const Session::Outcome& outcome, bool quiet)
{
    const int code = Session::ExitCodeOf(outcome.verdict);
    LOG(L"%sremoval: %s (%s)%s%s\r\n", quiet ? L"quiet: " : L"", Session::RowOf(outcome.verdict).name,
        ResultText(outcome.verdict), outcome.message.empty() ? L"" : L": ", outcome.message.c_str());
    if (!quiet) {
        const UINT icon = outcome.verdict == Session::Verdict::Removed ? MB_ICONINFORMATION : MB_ICONWARNING;
        ::MessageBoxW(nullptr, ResultText(outcome.verdict), kTitle, MB_OK | icon | MB_SETFOREGROUND);
    }
    return code;
}

} // namespace

int RunRemoval(Session::SessionRun& run)
{
    const bool quiet = run.Settings().unattended;
    Session::InstallSession& session = run.Install();
    if (quiet) {
        if (auto refusal = session.CheckUnattendedSettings()) {
            session.EndWith(*refusal);
            return Session::ExitCodeOf(refusal->verdict);
        }
        LOG(L"quiet mode: no window; the exit code tells the result\r\n");
    }
    if (!run.Opened()) {
        return Config::ExitCode::kInternalFailure;
    }
    if (auto refusal = session.PrepareRemoval()) {
        session.EndWith(*refusal);
        return Tell(*refusal, quiet);
    }
    if (!quiet) {
        // No by default: the answer removes the product.
        const int answer = ::MessageBoxW(
            nullptr, L"确定要卸载Vellumora吗？", kTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND);
        if (answer != IDYES) {
            LOG(L"removal: the user answered no; nothing is removed\r\n");
            session.EndWith({ Session::Verdict::Cancelled });
            return Session::ExitCodeOf(Session::Verdict::Cancelled);
        }
        // The product may have been started while the question was up.
        if (auto refusal = session.RefuseWhileProductRuns()) {
            session.EndWith(*refusal);
            return Tell(*refusal, quiet);
        }
    }
    RemovalFace face(quiet ? L"quiet: " : L"");
    run.Attach(&face);
    session.Start();
    run.PumpUntil([&face] { return face.Outcome().has_value(); });
    run.Attach(nullptr);
    return Tell(*face.Outcome(), quiet);
}

} // namespace App
