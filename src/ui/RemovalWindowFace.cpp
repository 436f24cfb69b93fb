#include "ui/RemovalWindowFace.h"

#include "config/Language.h"
#include "session/SessionRun.h"
#include "ui/CMessageBoxWnd.h"
#include "ui/LanguageTextsAdapter.h"
#include "ui/RemovalTexts.h"
#include "utils/Log.h"

void RemovalWindowFace::Run(Session::SessionRun& run)
{
    m_run = &run;
    // The windows made from here on speak the language the main window would start in.
    LanguageTextsAdapter table;
    Utils::LoadLanguage(table, run.Install().InitialLanguage(), L"");
    run.Post({ Session::Intent::Kind::Remove });
    while (!m_done) {
        run.PumpUntil([this] { return m_done || m_prompt; });
        if (m_prompt) {
            const std::function<void()> prompt = std::move(m_prompt);
            m_prompt = nullptr;
            prompt();
        }
    }
    m_run = nullptr;
}

void RemovalWindowFace::WaitingForProduct(bool waiting)
{
    if (waiting) {
        LOG(L"waiting for the product to exit before its uninstaller runs\r\n");
    }
}

void RemovalWindowFace::Refused(const Session::Outcome& refusal)
{
    TellAndEnd(refusal);
}

void RemovalWindowFace::Confirm()
{
    Later([this] {
        // Cancel by default: the answer removes the product.
        const int answer = ShowMessageBox(nullptr, FrameParams::ForSkinFile(L"RemoveTipWnd.xml"),
            LocalText(UiTexts::kRemoveQuestion).c_str(), LocalText(UiTexts::kNotice).c_str());
        m_run->Post({ answer == 0 ? Session::Intent::Kind::Apply : Session::Intent::Kind::Cancel });
    });
}

void RemovalWindowFace::Concluded(const Session::Outcome& outcome)
{
    if (outcome.verdict == Session::Verdict::Cancelled) {
        m_done = true; // the user's own No needs no answer
        return;
    }
    TellAndEnd(outcome);
}

void RemovalWindowFace::TellAndEnd(const Session::Outcome& outcome)
{
    LogRemovalResult(outcome, L"");
    Later([this, verdict = outcome.verdict] {
        ShowMessageBox(nullptr, FrameParams::ForSkinFile(L"MessageBox1Wnd.xml"),
            LocalText(RemovalResultText(verdict)).c_str(), LocalText(UiTexts::kNotice).c_str());
        m_done = true;
    });
}
