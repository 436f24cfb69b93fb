#pragma once

#include <windows.h>

#include <string_view>

namespace Demo {

// Writes the installer's output-line protocol to standard output: one "Key=Value\r\n" line
// per WriteFile on the raw handle, in UTF-8, so the reader sees each line the moment it is
// written and never half a line. Every line is followed by the step pause: progress can be
// watched, and a reader that sleeps between reads (the installer sleeps 100 ms) still gets
// about one line per read, so no line is cut at its read-buffer limit.
class ProtocolWriter {
public:
    explicit ProtocolWriter(DWORD stepMs);

    // "Encode=UTF8", then a pause: the reader applies a new code page from its next read
    // on, so what follows must not arrive in the same read.
    void AnnounceUtf8();
    void Line(std::wstring_view key, std::wstring_view value);
    void Progress(double fraction);
    void Error(std::wstring_view reason) { Line(L"Error", reason); }

private:
    HANDLE m_out;
    DWORD m_stepMs;
};

// The step pause of an "-stepms=" value; default when empty or not a number.
DWORD StepMsFromText(std::wstring_view text, DWORD fallback);

} // namespace Demo
