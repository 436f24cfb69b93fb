#pragma once

namespace App {

// Makes the system folder the only place this process loads DLLs from by name: the
// installer runs elevated from a Downloads folder where a web page can drop a DLL. Call it
// as the first statement of the program. The DLLs the program imports that are not among
// Windows' known DLLs are delay-loaded (DelayLoad.cpp), so none is resolved before this runs.
void RestrictDllSearch();

} // namespace App
