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

} // namespace Utils
