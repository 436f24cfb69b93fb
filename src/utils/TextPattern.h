#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Utils {

// A small regular-expression matcher for header and page scans, with ECMAScript's meaning
// for what it knows: literals, escapes (\n \r \t \f \v \d \w \s, or an escaped punctuation
// mark), '.', classes ([a-z0-9_], [^\n]), groups and the quantifiers * + ? with their lazy
// forms (*? +? ??). Case is ignored. A group may not be repeated; alternation, anchors and
// counted repeats are not known: such a pattern does not compile. The C++ library's regex
// would do, at the price of 65 kB of program.
class TextPattern {
public:
    struct Match {
        std::size_t start = 0;
        std::size_t end = 0;
        // The text of each group, group 1 first.
        std::vector<std::wstring> groups;
    };

    static std::optional<TextPattern> Compile(std::wstring_view pattern);

    // The leftmost match starting at or after from.
    std::optional<Match> Search(std::wstring_view text, std::size_t from = 0) const;

private:
    using Range = std::pair<wchar_t, wchar_t>;
    struct Item {
        enum class Kind { Character, Class, Open, Close } kind = Kind::Character;
        std::vector<Range> ranges; // Character: one range; Class: all of them
        bool negated = false;
        std::size_t group = 0; // Open, Close
        std::size_t min = 1;
        std::size_t max = 1;
        bool lazy = false;
    };
    // The state of one attempt.
    struct Attempt {
        std::wstring_view text;
        std::vector<std::size_t> starts;
        std::vector<std::size_t> ends;
        std::size_t end = 0;
    };

    static bool Accepts(const Item& item, wchar_t c);
    bool MatchFrom(Attempt& attempt, std::size_t item, std::size_t position) const;

    std::vector<Item> m_items;
    std::size_t m_groups = 0;
};

} // namespace Utils
