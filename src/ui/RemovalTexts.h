#pragma once

#include "session/InstallVerdict.h"
#include "ui/UiTexts.h"

// What a removal says about how it ended, in a window and in the log alike.
const UiText& RemovalResultText(Session::Verdict verdict);

// The removal's end in the log: "removal: <verdict> (<the text it shows>)[: detail]".
void LogRemovalResult(const Session::Outcome& outcome, const wchar_t* prefix);
