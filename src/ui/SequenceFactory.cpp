#include "ui/SequenceFactory.h"

#include "toolkit/Attributes.h"
#include "ui/CSequenceButtonUI.h"
#include "ui/CSequenceLabelUI.h"

Toolkit::CControlUI* CreateSequenceControl(const wchar_t* className)
{
    if (!className) {
        return nullptr;
    }
    if (Toolkit::EqualsNoCase(className, L"SequenceLabel")) {
        return new CSequenceLabelUI();
    }
    if (Toolkit::EqualsNoCase(className, L"SequenceButton")) {
        return new CSequenceButtonUI();
    }
    return nullptr;
}
