#include "app/CallerOutput.h"

#include <windows.h>

#include <algorithm>

#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace App {
namespace {

bool WriteAll(HANDLE file, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 65536));
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

bool WriteToStandardOutput(const std::wstring& text)
{
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!output || output == INVALID_HANDLE_VALUE) {
        return false;
    }
    const DWORD type = ::GetFileType(output);
    return (type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK)
        && WriteAll(output, Utils::WideToMultiByte(text, CP_UTF8));
}

bool WriteToParentConsole(const std::wstring& text)
{
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) {
        return false;
    }
    bool written = false;
    {
        Utils::UniqueFileHandle console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        // The command prompt does not wait for a window program: its prompt is back already.
        const std::wstring shown = L"\r\n" + text;
        DWORD count = 0;
        written = console
            && ::WriteConsoleW(console.get(), shown.c_str(), static_cast<DWORD>(shown.size()), &count, nullptr);
    }
    ::FreeConsole();
    return written;
}

} // namespace

CallerOutput ShowToCaller(const std::wstring& text, bool mayShowDialog)
{
    const std::wstring lines = Utils::ReplaceAll(Utils::ReplaceAll(text, L"\r\n", L"\n"), L"\n", L"\r\n");
    if (WriteToStandardOutput(lines)) {
        return CallerOutput::StandardOutput;
    }
    if (WriteToParentConsole(lines)) {
        return CallerOutput::ParentConsole;
    }
    if (mayShowDialog) {
        ::MessageBoxW(nullptr, lines.c_str(), L"Vellumora", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return CallerOutput::Dialog;
    }
    return CallerOutput::Nowhere;
}

} // namespace App
