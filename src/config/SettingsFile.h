#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Config {

// A settings file larger than this is not read: no hand-written file comes near it.
inline constexpr std::size_t kMaxSettingsFileBytes = 1024 * 1024;

// The file's text: UTF-16 with its byte-order mark (little- or big-endian), UTF-8 with or
// without one, otherwise the ANSI code page (a file that is not valid UTF-8 was written so).
std::wstring DecodeSettingsText(std::string_view bytes);

// One section of a settings file, read once and parsed by the rules the system's profile
// functions (GetPrivateProfileString) follow, so a file that worked before reads the same:
// - lines end at "\n"; blanks (space, tab, vertical tab, form feed, CR) around lines, names
//   and values are dropped;
// - "[name]" starts a section; the name ends at the first "]" (or the line's end); section and
//   key names compare without regard to case; only the first section of the name counts;
// - a line starting with ";" is a comment; "#" is not;
// - "key=value": the first line of a key counts; a line without "=" names a key without a
//   value, which reads as absent;
// - one pair of matching quotes (' or ") around a value is dropped;
// - a value is cut to room - 1 characters, as the profile functions cut it to their buffer.
class SettingsFile {
public:
    // Reads path's section. A missing file gives one that does not exist; one that cannot be
    // read gives a problem (and no keys). vet, when given, judges the open file first: a
    // reason it gives leaves the file unread (Ignored, no keys).
    static SettingsFile Read(
        const std::wstring& path, std::wstring_view section, std::wstring (*vet)(HANDLE) = nullptr);
    // The same from the file's text.
    static SettingsFile FromText(std::wstring_view text, std::wstring_view section);

    bool Exists() const noexcept { return m_exists; }
    // Why an existing file was not read; empty when it was.
    const std::wstring& Problem() const noexcept { return m_problem; }
    // Why an existing file was not trusted to be read (vet's reason); empty when it was.
    const std::wstring& Ignored() const noexcept { return m_ignored; }

    // The key's value, or nothing when the section lacks it. Marks the key as read.
    std::optional<std::wstring> Value(std::wstring_view key, std::size_t room);
    // The key's value, or fallback when the section lacks it.
    std::wstring Text(std::wstring_view key, const std::wstring& fallback, std::size_t room);

    // The section's keys that no Value or Text asked for, in file order, each once.
    std::vector<std::wstring> UnreadKeys() const;

private:
    struct Entry {
        std::wstring name;
        std::optional<std::wstring> value;
        bool read = false;
    };

    bool m_exists = false;
    std::wstring m_problem;
    std::wstring m_ignored;
    std::vector<Entry> m_entries; // the section's keys in file order, comments left out
};

} // namespace Config
