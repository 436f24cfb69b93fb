#pragma once

#include <string>

namespace Pipeline {

// Copies source to target (a new file) only when no one but an administrator could have
// changed source: its folder is walked from the volume's root without following a link, and
// the folder and the file are judged on their descriptors and read through the handles that
// were judged, so a folder renamed or replaced on the way changes nothing. Returns why it was
// not copied; empty: copied.
std::wstring CopyFromProtectedFolder(const std::wstring& source, const std::wstring& target);

} // namespace Pipeline
