#include "config/SettingsFile.h"

#include <windows.h>

#include <algorithm>
#include <climits>

#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace Config {
namespace {

constexpr wchar_t kBlanks[] = L" \t\v\f\r";

bool SameName(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size() || a.size() > INT_MAX) {
        return false;
    }
    const int size = static_cast<int>(a.size());
    return size == 0 || ::CompareStringOrdinal(a.data(), size, b.data(), size, TRUE) == CSTR_EQUAL;
}

bool StartsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.substr(0, prefix.size()) == prefix;
}

std::wstring Utf16(std::string_view bytes, bool bigEndian)
{
    std::wstring text(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return text;
}

bool IsUtf8(std::string_view bytes)
{
    return bytes.size() <= INT_MAX
        && ::MultiByteToWideChar(
               CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0)
        > 0;
}

// The profile functions read a value as a C string: it ends at a NUL.
std::wstring UpToNul(std::wstring_view text)
{
    return std::wstring(text.substr(0, text.find(L'\0')));
}

} // namespace

std::wstring DecodeSettingsText(std::string_view bytes)
{
    if (StartsWith(bytes, "\xFF\xFE")) {
        return Utf16(bytes.substr(2), false);
    }
    if (StartsWith(bytes, "\xFE\xFF")) {
        return Utf16(bytes.substr(2), true);
    }
    if (StartsWith(bytes, "\xEF\xBB\xBF")) {
        return Utils::MultiByteToWide(bytes.substr(3), CP_UTF8);
    }
    return Utils::MultiByteToWide(bytes, IsUtf8(bytes) ? CP_UTF8 : CP_ACP);
}

SettingsFile SettingsFile::Read(const std::wstring& path, std::wstring_view section, std::wstring (*vet)(HANDLE))
{
    SettingsFile file;
    Utils::UniqueFileHandle handle(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            file.m_exists = true;
            file.m_problem = L"it cannot be opened (error " + std::to_wstring(error) + L")";
        }
        return file;
    }
    // Judged on the handle that is read: the file cannot be swapped in between.
    if (std::wstring reason = vet ? vet(handle.get()) : std::wstring(); !reason.empty()) {
        file.m_exists = true;
        file.m_ignored = std::move(reason);
        return file;
    }
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(handle.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kMaxSettingsFileBytes)) {
        file.m_exists = true;
        file.m_problem = L"it is larger than " + std::to_wstring(kMaxSettingsFileBytes / 1024) + L" KiB";
        return file;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() && (!::ReadFile(handle.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))) {
        file.m_exists = true;
        file.m_problem = L"it cannot be read (error " + std::to_wstring(::GetLastError()) + L")";
        return file;
    }
    bytes.resize(got);
    file = FromText(DecodeSettingsText(bytes), section);
    return file;
}

SettingsFile SettingsFile::FromText(std::wstring_view text, std::wstring_view section)
{
    SettingsFile file;
    file.m_exists = true;
    enum class Place { Before, Inside, After } place = Place::Before;
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t end = std::min(text.find(L'\n', from), text.size());
        const std::wstring line = Utils::Trim(text.substr(from, end - from), kBlanks);
        from = end + 1;
        if (line.empty() || line[0] == L';') {
            continue;
        }
        if (line[0] == L'[') {
            const std::wstring name = Utils::Trim(std::wstring_view(line).substr(1, line.find(L']') - 1), kBlanks);
            if (place == Place::Inside) {
                place = Place::After;
            } else if (place == Place::Before && SameName(name, section)) {
                place = Place::Inside;
            }
            continue;
        }
        if (place != Place::Inside) {
            continue;
        }
        const std::size_t equals = line.find(L'=');
        Entry entry;
        entry.name = UpToNul(Utils::Trim(std::wstring_view(line).substr(0, equals), kBlanks));
        if (equals != std::wstring::npos) {
            entry.value = UpToNul(Utils::Trim(std::wstring_view(line).substr(equals + 1), kBlanks));
        }
        file.m_entries.push_back(std::move(entry));
    }
    return file;
}

std::optional<std::wstring> SettingsFile::Value(std::wstring_view key, std::size_t room)
{
    const Entry* first = nullptr;
    for (Entry& entry : m_entries) {
        if (SameName(entry.name, key)) {
            entry.read = true;
            first = first ? first : &entry;
        }
    }
    if (!first || !first->value) {
        return std::nullopt;
    }
    std::wstring value = *first->value;
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    if (room > 0 && value.size() >= room) {
        value.resize(room - 1);
    }
    return value;
}

std::wstring SettingsFile::Text(std::wstring_view key, const std::wstring& fallback, std::size_t room)
{
    return Value(key, room).value_or(fallback);
}

std::vector<std::wstring> SettingsFile::UnreadKeys() const
{
    std::vector<std::wstring> keys;
    for (const Entry& entry : m_entries) {
        if (entry.read) {
            continue;
        }
        bool listed = false;
        for (const std::wstring& key : keys) {
            listed = listed || SameName(key, entry.name);
        }
        if (!listed) {
            keys.push_back(entry.name);
        }
    }
    return keys;
}

} // namespace Config
