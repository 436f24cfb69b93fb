#include "utils/Processes.h"

#include <tlhelp32.h>

#include "utils/UniqueResource.h"

namespace Utils {

DWORD FindProcessIdByName(const std::wstring& name)
{
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    // Every entry is compared, the first one included: under Wine it is an ordinary process.
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::lstrcmpW(entry.szExeFile, name.c_str()) == 0) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

DWORD FindProcessIdInOurSession(const std::wstring& name)
{
    DWORD ours = 0;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &ours)) {
        return FindProcessIdByName(name);
    }
    UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return 0;
    }
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        DWORD session = 0;
        // A process whose session cannot be read counts: better a wait than a package
        // started under a running product.
        if (::lstrcmpW(entry.szExeFile, name.c_str()) == 0
            && (!::ProcessIdToSessionId(entry.th32ProcessID, &session) || session == ours)) {
            return entry.th32ProcessID;
        }
    }
    return 0;
}

std::wstring QuoteCommandLineArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
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
