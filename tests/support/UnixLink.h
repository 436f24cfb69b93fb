#pragma once

#include <string>

namespace TestSupport {

// Makes a Unix symbolic link at link pointing at target (both Windows paths), from the host's
// side: Wine cannot make a link from a Windows program, but shows a host link as a reparse
// point. False where the host is not Wine or the link cannot be made (tests then skip the
// part that needs it).
bool MakeUnixSymlink(const std::wstring& target, const std::wstring& link);

// Removes such a link from the host's side (Wine cannot delete a host link to a folder), so a
// test may make one inside its own folder. True when nothing is left at link.
bool RemoveUnixLink(const std::wstring& link);

} // namespace TestSupport
