#pragma once

#include <string>

namespace Utils {

// The running program's file version as its version resource gives it ("1.0.0.0"); empty
// when the program carries none.
std::wstring ModuleFileVersion();

} // namespace Utils
