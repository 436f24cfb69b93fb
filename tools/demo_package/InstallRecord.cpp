#include "InstallRecord.h"

#include <windows.h>

#include <algorithm>

#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace Demo {
namespace {

void AddMissing(std::vector<std::wstring>& into, const std::vector<std::wstring>& from)
{
    for (const auto& entry : from) {
        const bool present = std::any_of(into.begin(), into.end(),
            [&entry](const std::wstring& existing) { return ::lstrcmpiW(existing.c_str(), entry.c_str()) == 0; });
        if (!present) {
            into.push_back(entry);
        }
    }
}

} // namespace

std::optional<InstallRecord> ReadInstallRecord(const std::wstring& path)
{
    Utils::UniqueFileHandle file(::CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    const std::wstring text = Utils::MultiByteToWide(bytes, CP_UTF8);
    if (text.empty() && !bytes.empty()) {
        return std::nullopt;
    }

    InstallRecord record;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        const std::size_t equals = line.find(L'=');
        if (equals == std::wstring::npos || equals + 1 == line.size()) {
            continue;
        }
        const std::wstring key = line.substr(0, equals);
        std::wstring value = line.substr(equals + 1);
        if (key == L"version") {
            record.version = std::move(value);
        } else if (key == L"file") {
            record.files.push_back(std::move(value));
        } else if (key == L"shortcut") {
            record.shortcuts.push_back(std::move(value));
        }
    }
    return record;
}

bool WriteInstallRecord(const std::wstring& path, const InstallRecord& record)
{
    std::wstring text = L"version=" + record.version + L"\r\n";
    for (const auto& file : record.files) {
        text += L"file=" + file + L"\r\n";
    }
    for (const auto& shortcut : record.shortcuts) {
        text += L"shortcut=" + shortcut + L"\r\n";
    }
    const std::string bytes = Utils::WideToMultiByte(text, CP_UTF8);
    Utils::UniqueFileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return false;
    }
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)
        && written == bytes.size();
}

void MergeInstallRecord(InstallRecord& into, const InstallRecord& from)
{
    into.version = from.version;
    AddMissing(into.files, from.files);
    AddMissing(into.shortcuts, from.shortcuts);
}

bool IsPlainFileName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}

} // namespace Demo
