#include "utils/TextPattern.h"

#include <cwctype>
#include <limits>

namespace Utils {
namespace {

constexpr std::size_t kUnbounded = std::numeric_limits<std::size_t>::max();

struct Escape {
    bool ok = false;
    bool negated = false;
    std::vector<std::pair<wchar_t, wchar_t>> ranges;

    bool Single() const { return ranges.size() == 1 && ranges[0].first == ranges[0].second; }
};

// The ranges of one escape after its backslash; not ok for one this matcher does not know.
Escape ReadEscape(wchar_t c)
{
    constexpr std::pair<wchar_t, wchar_t> kControls[]
        = { { L'n', L'\n' }, { L'r', L'\r' }, { L't', L'\t' }, { L'f', L'\f' }, { L'v', L'\v' } };
    Escape e;
    e.ok = true;
    switch (std::towlower(c)) {
    case L'd':
        e.ranges = { { L'0', L'9' } };
        break;
    case L'w':
        e.ranges = { { L'a', L'z' }, { L'A', L'Z' }, { L'0', L'9' }, { L'_', L'_' } };
        break;
    case L's':
        e.ranges = { { L'\t', L'\r' }, { L' ', L' ' }, { 0xA0, 0xA0 }, { 0xFEFF, 0xFEFF } };
        break;
    default:
        // An escaped punctuation mark stands for itself; other letters and digits mean more.
        e.ok = !std::iswalnum(c) && c != L'\0';
        e.ranges = { { c, c } };
        for (const auto& [letter, control] : kControls) {
            if (c == letter) {
                e.ok = true;
                e.ranges = { { control, control } };
            }
        }
        break;
    }
    e.negated = c == L'D' || c == L'W' || c == L'S';
    return e;
}

} // namespace

std::optional<TextPattern> TextPattern::Compile(std::wstring_view pattern)
{
    TextPattern result;
    std::vector<std::size_t> open;
    std::size_t i = 0;
    auto next = [&]() -> std::optional<wchar_t> {
        if (i >= pattern.size()) {
            return std::nullopt;
        }
        return pattern[i++];
    };
    while (i < pattern.size()) {
        const wchar_t c = pattern[i++];
        Item item;
        switch (c) {
        case L'(': {
            if (i < pattern.size() && pattern[i] == L'?') {
                return std::nullopt;
            }
            item.kind = Item::Kind::Open;
            item.group = ++result.m_groups;
            open.push_back(item.group);
            result.m_items.push_back(item);
            continue;
        }
        case L')':
            if (open.empty()) {
                return std::nullopt;
            }
            item.kind = Item::Kind::Close;
            item.group = open.back();
            open.pop_back();
            result.m_items.push_back(item);
            continue;
        case L'|':
        case L'^':
        case L'$':
        case L'{':
        case L'}':
        case L'*':
        case L'+':
        case L'?':
        case L']':
            return std::nullopt;
        case L'.':
            item.kind = Item::Kind::Class;
            item.negated = true;
            item.ranges = { { L'\n', L'\n' }, { L'\r', L'\r' }, { 0x2028, 0x2029 } };
            break;
        case L'\\': {
            const auto escaped = next();
            if (!escaped) {
                return std::nullopt;
            }
            const Escape e = ReadEscape(*escaped);
            if (!e.ok) {
                return std::nullopt;
            }
            item.kind = e.Single() && !e.negated ? Item::Kind::Character : Item::Kind::Class;
            item.negated = e.negated;
            item.ranges = e.ranges;
            break;
        }
        case L'[': {
            item.kind = Item::Kind::Class;
            if (i < pattern.size() && pattern[i] == L'^') {
                item.negated = true;
                ++i;
            }
            bool closed = false;
            while (auto member = next()) {
                if (*member == L']') {
                    closed = true;
                    break;
                }
                wchar_t first = *member;
                if (first == L'\\') {
                    const auto escaped = next();
                    const Escape e = escaped ? ReadEscape(*escaped) : Escape {};
                    if (!e.ok || e.negated) {
                        return std::nullopt;
                    }
                    if (!e.Single()) {
                        item.ranges.insert(item.ranges.end(), e.ranges.begin(), e.ranges.end());
                        continue;
                    }
                    first = e.ranges[0].first;
                }
                wchar_t last = first;
                if (i + 1 < pattern.size() && pattern[i] == L'-' && pattern[i + 1] != L']') {
                    i++;
                    last = pattern[i++];
                    if (last == L'\\') {
                        const auto escaped = next();
                        const Escape e = escaped ? ReadEscape(*escaped) : Escape {};
                        if (!e.ok || !e.Single()) {
                            return std::nullopt;
                        }
                        last = e.ranges[0].first;
                    }
                    if (last < first) {
                        return std::nullopt;
                    }
                }
                item.ranges.push_back({ first, last });
            }
            if (!closed) {
                return std::nullopt;
            }
            break;
        }
        default:
            item.ranges = { { c, c } };
            break;
        }
        if (i < pattern.size() && (pattern[i] == L'*' || pattern[i] == L'+' || pattern[i] == L'?')) {
            item.min = pattern[i] == L'+' ? 1 : 0;
            item.max = pattern[i] == L'?' ? 1 : kUnbounded;
            ++i;
            if (i < pattern.size() && pattern[i] == L'?') {
                item.lazy = true;
                ++i;
            }
        }
        result.m_items.push_back(std::move(item));
    }
    if (!open.empty()) {
        return std::nullopt;
    }
    return result;
}

bool TextPattern::Accepts(const Item& item, wchar_t c)
{
    const wchar_t lower = static_cast<wchar_t>(std::towlower(c));
    const wchar_t upper = static_cast<wchar_t>(std::towupper(c));
    bool inside = false;
    for (const Range& range : item.ranges) {
        for (wchar_t candidate : { c, lower, upper }) {
            inside = inside || (candidate >= range.first && candidate <= range.second);
        }
    }
    return inside != item.negated;
}

bool TextPattern::MatchFrom(Attempt& attempt, std::size_t index, std::size_t position) const
{
    if (index == m_items.size()) {
        attempt.end = position;
        return true;
    }
    const Item& item = m_items[index];
    // A group is never repeated, so a match passes each bracket once: the last position
    // written is the one of the match found.
    if (item.kind == Item::Kind::Open) {
        attempt.starts[item.group] = position;
        return MatchFrom(attempt, index + 1, position);
    }
    if (item.kind == Item::Kind::Close) {
        attempt.ends[item.group] = position;
        return MatchFrom(attempt, index + 1, position);
    }
    // Every other item is one character, repeated: each count to try is a prefix of the run.
    const std::wstring_view text = attempt.text;
    std::size_t run = 0;
    while (run < item.max && position + run < text.size() && Accepts(item, text[position + run])) {
        ++run;
    }
    if (run < item.min) {
        return false;
    }
    if (item.lazy) {
        for (std::size_t count = item.min; count <= run; ++count) {
            if (MatchFrom(attempt, index + 1, position + count)) {
                return true;
            }
        }
        return false;
    }
    for (std::size_t count = run + 1; count-- > item.min;) {
        if (MatchFrom(attempt, index + 1, position + count)) {
            return true;
        }
    }
    return false;
}

std::optional<TextPattern::Match> TextPattern::Search(std::wstring_view text, std::size_t from) const
{
    Attempt attempt { text, std::vector<std::size_t>(m_groups + 1), std::vector<std::size_t>(m_groups + 1), 0 };
    for (std::size_t start = from; start <= text.size(); ++start) {
        if (MatchFrom(attempt, 0, start)) {
            Match match;
            match.start = start;
            match.end = attempt.end;
            for (std::size_t g = 1; g <= m_groups; ++g) {
                match.groups.emplace_back(text.substr(attempt.starts[g], attempt.ends[g] - attempt.starts[g]));
            }
            return match;
        }
    }
    return std::nullopt;
}

} // namespace Utils
