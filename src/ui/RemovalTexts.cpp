#include "ui/RemovalTexts.h"

#include "utils/Log.h"

const UiText& RemovalResultText(Session::Verdict verdict)
{
    switch (verdict) {
    case Session::Verdict::Removed:
        return UiTexts::kRemoved;
    case Session::Verdict::NothingInstalled:
        return UiTexts::kNothingToRemove;
    case Session::Verdict::ProductRunning:
        return UiTexts::kRemoveWhileRunning;
    default:
        return UiTexts::kRemoveFailed;
    }
}

void LogRemovalResult(const Session::Outcome& outcome, const wchar_t* prefix)
{
    // The literal: an ANSI debugger channel may not carry the chosen language's text.
    LOG(L"%sremoval: %s (%s)%s%s\r\n", prefix, Session::RowOf(outcome.verdict).name,
        RemovalResultText(outcome.verdict).literal, outcome.message.empty() ? L"" : L": ", outcome.message.c_str());
}
