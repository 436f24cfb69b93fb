#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Joins chunks of a child's output back into whole lines at the byte level, so a line cut
// by a read boundary (even inside a multi-byte character) arrives whole. A line-feed byte
// never occurs inside a multi-byte character of the ANSI code pages or UTF-8, which makes
// splitting before decoding safe.
class LineAssembler {
public:
    // Longer lines keep only their first kMaxLineBytes bytes; that is far beyond the longest
    // value the protocol accepts, so the cut changes no result and bounds memory.
    static constexpr std::size_t kMaxLineBytes = 8192;

    // Appends a chunk; returns the lines it completed, without their line feed (a carriage
    // return before it stays). A line is cut at its first zero byte.
    std::vector<std::string> Feed(std::string_view chunk);
    // The text after the last line feed, when there is any, as the final line.
    std::optional<std::string> Finish();

private:
    void Append(std::string_view bytes);
    std::string TakeLine();

    std::string m_pending;
};
