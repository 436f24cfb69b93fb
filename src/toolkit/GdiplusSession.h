#pragma once

namespace Toolkit {

// Starts GDI+ once for the process, on first use; it stays up until exit.
bool EnsureGdiplus();

} // namespace Toolkit
