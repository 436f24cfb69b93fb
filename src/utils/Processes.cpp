#include "utils/Processes.h"

#include <tlhelp32.h>

#include <functional>

#include "utils/FileSystem.h"
#include "utils/UniqueResource.h"

namespace Utils {

namespace {

// The first process named name (exactly) that accept takes, or 0.
DWORD FindProcessId(const std::wstring& name, const std::function<bool(DWORD processId)>& accept)
{
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    // Every entry is compared, the first one included: under Wine it is an ordinary process.
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpW(entry.szExeFile, name.c_str()) == 0 && accept(entry.th32ProcessID)) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

// A process whose session cannot be read counts as ours: better a wait than a package started
// under a running product.
bool InSession(DWORD processId, DWORD ours)
{
    DWORD session = 0;
    return !::ProcessIdToSessionId(processId, &session) || session == ours;
}

std::wstring ImagePath(DWORD processId)
{
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (!process || !::QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
        return std::wstring();
    }
    path.resize(size);
    return path;
}

} // namespace

DWORD FindProcessIdByName(const std::wstring& name)
{
    return FindProcessId(name, [](DWORD) { return true; });
}

DWORD FindProcessIdInOurSession(const std::wstring& name)
{
    DWORD ours = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &ours)) {
        return FindProcessIdByName(name);
    }
    return FindProcessId(name, [ours](DWORD processId) { return InSession(processId, ours); });
}

DWORD FindProcessIdInOurSessionOrFolder(const std::wstring& name, const std::wstring& folder)
{
    DWORD ours = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &ours)) {
        return FindProcessIdByName(name);
    }
    return FindProcessId(name, [ours, &folder](DWORD processId) {
        return InSession(processId, ours) || IsInsideFolder(ImagePath(processId), folder);
    });
}

std::wstring QuoteCommandLineArgument(const std::wstring& argument, Quoting quoting)
{
    if (quoting == Quoting::WhenNeeded && !argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

} // namespace Utils
