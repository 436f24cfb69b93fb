// Linked into the probe's "no shell" build instead of the program's own definition: a class
// nobody serves, as in a session where the desktop shell does not run.
#include "utils/DesktopShellClass.h"

namespace Utils {

const CLSID& DesktopShellClass()
{
    static const CLSID nobody = { 0x6c3ee0e5, 0x2c4f, 0x4b6f, { 0x9a, 0x3d, 0x51, 0x8e, 0x0b, 0x7a, 0x21, 0x90 } };
    return nobody;
}

} // namespace Utils
