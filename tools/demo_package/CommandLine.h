#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace Demo {

// A package-style command line: "-key=value" options (quotes anywhere in a token are
// dropped, backslashes are kept as they are, so -instdir="C:\x\" works), bare flags like
// "/S", and one tail option ("/D=" or "_?=") that takes the rest of the line verbatim,
// spaces included, the way such installers have always read their target folder.
class CommandLine {
public:
    // line is the whole command line, program name first.
    CommandLine(std::wstring_view line, std::wstring_view tailKey);

    bool Has(const std::wstring& key) const { return m_options.count(key) != 0; }
    // The first occurrence of key wins; fallback when it is absent.
    std::wstring Get(const std::wstring& key, const std::wstring& fallback = L"") const;
    bool IsTrue(const std::wstring& key) const { return Get(key) == L"true"; }
    const std::optional<std::wstring>& Tail() const noexcept { return m_tail; }

private:
    std::map<std::wstring, std::wstring> m_options;
    std::optional<std::wstring> m_tail;
};

// A folder as given on a command line made usable: surrounding blanks and quotes removed,
// trailing backslashes dropped (except after a drive), made absolute. Empty stays empty.
std::wstring NormalizeFolder(std::wstring_view folder);

} // namespace Demo
