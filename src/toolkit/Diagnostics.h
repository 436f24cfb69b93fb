#pragma once

#include <functional>
#include <string>

namespace Toolkit {

// Where the toolkit reports skin mistakes (unknown attributes, missing layouts). By
// default the lines go to the debugger output; a host may route them to its own log.
void SetDiagnosticSink(std::function<void(const std::wstring&)> sink);
void Diagnostic(const std::wstring& line);

} // namespace Toolkit
