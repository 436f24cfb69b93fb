#include <gtest/gtest.h>

#include "utils/TextPattern.h"

using Utils::TextPattern;

TEST(TextPattern, FindsTheLeftmostMatchWithBacktrackingAndIgnoringCase)
{
    struct Case {
        const wchar_t* pattern;
        const wchar_t* text;
        std::size_t start; // where the match begins
        std::vector<std::wstring> groups;
    } cases[] = {
        { L"a(b+)", L"xabbbc", 1, { L"bbb" } },
        { L"a(b+?)", L"abbb", 0, { L"b" } },
        { L"(b*?)c", L"bbc", 0, { L"bb" } }, // a lazy run still grows until the rest matches
        { L"(a+)ab", L"aaab", 0, { L"aa" } }, // a greedy run gives back
        { L"content-length: ([0-9]+)", L"X\r\nCONTENT-LENGTH: 12\r\n", 3, { L"12" } },
        { L"charset=([A-Za-z0-9\\-_]+)", L"text/html; Charset=utf-8;", 11, { L"utf-8" } },
        { L"Content-Range: *bytes +([0-9]+)-", L"content-range:bytes  100-199/200", 0, { L"100" } },
        { L"Set-Cookie:[ \\t]*([^\\n]+?)\\n", L"Set-Cookie:   \n", 0, { L" " } },
        { L"Location: (https?:[^\\n]+?\\n)", L"location: HTTP://h/x\r\nA: b\n", 0, { L"HTTP://h/x\r\n" } },
        { L"(\\d+)\\.(\\w+)", L"v 12.ab_c!", 2, { L"12", L"ab_c" } },
        { L"a(.*)", L"ab\ncd", 0, { L"b" } }, // '.' stops at a line end
        { L"(<html>)", L"<HTML><body>", 0, { L"<HTML>" } },
        { L"[^a-c]+", L"abcxyz", 3, {} },
    };
    for (const Case& c : cases) {
        const auto pattern = TextPattern::Compile(c.pattern);
        ASSERT_TRUE(pattern) << c.pattern;
        const auto match = pattern->Search(c.text);
        ASSERT_TRUE(match) << c.pattern;
        EXPECT_EQ(match->start, c.start) << c.pattern;
        EXPECT_EQ(match->groups, c.groups) << c.pattern;
    }
    const auto html = TextPattern::Compile(L"(</html>)");
    EXPECT_FALSE(html->Search(L"<html><body>"));
    const auto digits = TextPattern::Compile(L"([0-9]+)");
    EXPECT_EQ(digits->Search(L"12 345", 2)->groups.front(), L"345");
}

TEST(TextPattern, RefusesWhatItDoesNotKnow)
{
    for (const wchar_t* pattern : { L"a|b", L"^a", L"a$", L"a{2}", L"(a)+", L"*a", L"(a", L"a)", L"[a", L"\\1",
             L"(?:a)", L"a\\", L"\\b", L"[z-a]", L"[\\D]" }) {
        EXPECT_FALSE(TextPattern::Compile(pattern)) << pattern;
    }
}
