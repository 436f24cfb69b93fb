// Alone in its file, so that a test build can link its own definition instead of this one.
#include "utils/DesktopShellClass.h"

#include <exdisp.h>

namespace Utils {

const CLSID& DesktopShellClass()
{
    return CLSID_ShellWindows;
}

} // namespace Utils
