#include "CommandLine.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace Demo {
namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

std::size_t SkipProgramName(std::wstring_view line)
{
    std::size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    if (i < line.size() && line[i] == L'"') {
        const std::size_t close = line.find(L'"', i + 1);
        return close == std::wstring_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i])) {
        ++i;
    }
    return i;
}

std::wstring_view TrimBlanks(std::wstring_view text)
{
    while (!text.empty() && std::iswspace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::iswspace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

CommandLine::CommandLine(std::wstring_view line, std::wstring_view tailKey)
{
    std::size_t i = SkipProgramName(line);
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        if (!tailKey.empty() && line.substr(i, tailKey.size()) == tailKey) {
            m_tail = std::wstring(TrimBlanks(line.substr(i + tailKey.size())));
            break;
        }
        std::wstring token;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == L'"') {
                quoted = !quoted;
            } else {
                token.push_back(line[i]);
            }
        }
        // A quoted tail ("/D=C:\a b", as some shells pass it) still names the folder.
        if (!tailKey.empty() && token.compare(0, tailKey.size(), tailKey) == 0) {
            m_tail = std::wstring(TrimBlanks(token.substr(tailKey.size()) + std::wstring(line.substr(i))));
            break;
        }
        const std::size_t equals = token.find(L'=');
        std::wstring key = token.substr(0, equals);
        std::wstring value = equals == std::wstring::npos ? std::wstring() : token.substr(equals + 1);
        m_options.emplace(std::move(key), std::move(value));
    }
}

std::wstring CommandLine::Get(const std::wstring& key, const std::wstring& fallback) const
{
    const auto found = m_options.find(key);
    return found == m_options.end() ? fallback : found->second;
}

std::wstring NormalizeFolder(std::wstring_view folder)
{
    folder = TrimBlanks(folder);
    if (folder.size() >= 2 && folder.front() == L'"' && folder.back() == L'"') {
        folder = TrimBlanks(folder.substr(1, folder.size() - 2));
    }
    std::wstring path(folder);
    for (auto& c : path) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    while (path.size() > 3 && path.back() == L'\\') {
        path.pop_back();
    }
    if (path.empty()) {
        return path;
    }
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        return path;
    }
    std::vector<wchar_t> full(needed);
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        return path;
    }
    std::wstring result(full.data(), length);
    while (result.size() > 3 && result.back() == L'\\') {
        result.pop_back();
    }
    return result;
}

} // namespace Demo
