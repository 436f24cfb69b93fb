#pragma once

#include "toolkit/Control.h"

// The control factory of the installer's windows: "SequenceLabel" and "SequenceButton"
// (any case); nullptr for other names.
Toolkit::CControlUI* CreateSequenceControl(const wchar_t* className);
