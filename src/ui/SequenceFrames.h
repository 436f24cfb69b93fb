#pragma once

#include <optional>
#include <string>
#include <string_view>

// The frame stepping of the sequence controls, kept apart from the controls so the
// four loop/round-trip combinations can be checked without a window.
struct SequenceStepper {
    int count = 0;
    bool loop = true;
    bool roundTrip = false;
    bool forward = true;
    int current = 0;

    struct Step {
        std::optional<int> frame; // the frame to show now, if any
        bool stopTimer = false;
    };
    // One timer tick.
    Step Next();
};

// Formats the frame number into the image pattern's one integer conversion (flags,
// width and precision allowed: "%.3d" gives "007"). "%%" is a percent sign. A pattern
// without a conversion is returned as it is; one with any other conversion, or more
// than one, is not trusted with the number and is returned unformatted as well. The
// result is cut to 259 characters.
std::wstring FormatFramePattern(std::wstring_view pattern, int frame);

// Boolean values of the sequence attributes: anything but exactly "false" is true.
inline bool SequenceBool(std::wstring_view value)
{
    return value != L"false";
}
