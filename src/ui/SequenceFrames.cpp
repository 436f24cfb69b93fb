#include "ui/SequenceFrames.h"

#include <cwchar>
#include <cwctype>

SequenceStepper::Step SequenceStepper::Next()
{
    if (forward && current > count - 1) {
        if (roundTrip) {
            forward = false;
            current = count - 2;
        } else {
            current = 0;
            if (!loop) {
                return Step { std::nullopt, true };
            }
        }
    }
    // Counts below 2 would walk backward past frame 0 for ever; treat that as arriving at 0.
    if (!forward && current <= 0) {
        if (roundTrip) {
            forward = true;
        }
        current = 0;
        if (!loop) {
            return Step { std::nullopt, true };
        }
    }
    const int frame = current;
    current = forward ? frame + 1 : frame - 1;
    return Step { frame, false };
}

namespace {

constexpr std::size_t kFrameNameLimit = 259;

} // namespace

std::wstring FormatFramePattern(std::wstring_view pattern, int frame)
{
    std::size_t specStart = std::wstring_view::npos;
    std::size_t specEnd = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != L'%') {
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == L'%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < pattern.size() && std::wcschr(L"-+ #0", pattern[j]) && pattern[j] != L'\0') {
            ++j;
        }
        while (j < pattern.size() && std::iswdigit(pattern[j])) {
            ++j;
        }
        if (j < pattern.size() && pattern[j] == L'.') {
            ++j;
            while (j < pattern.size() && std::iswdigit(pattern[j])) {
                ++j;
            }
        }
        const bool integer = j < pattern.size() && std::wcschr(L"diuxXo", pattern[j]) && pattern[j] != L'\0';
        if (!integer || specStart != std::wstring_view::npos || j - i > 12) {
            // Not a single integer conversion: never hand the number to it.
            return std::wstring(pattern.substr(0, kFrameNameLimit));
        }
        specStart = i;
        specEnd = j + 1;
        i = j;
    }

    auto unescape = [](std::wstring_view text) {
        std::wstring out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            out.push_back(text[i]);
            if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] == L'%') {
                ++i;
            }
        }
        return out;
    };
    if (specStart == std::wstring_view::npos) {
        return unescape(pattern).substr(0, kFrameNameLimit);
    }
    const std::wstring conversion(pattern.substr(specStart, specEnd - specStart));
    wchar_t number[64] = {};
    std::swprintf(number, 64, conversion.c_str(), frame);
    std::wstring result = unescape(pattern.substr(0, specStart)) + number + unescape(pattern.substr(specEnd));
    return result.substr(0, kFrameNameLimit);
}
