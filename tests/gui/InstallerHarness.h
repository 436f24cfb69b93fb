#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "support/TempDir.h"
#include "support/http_server/HttpTestServer.h"
#include "utils/UniqueResource.h"

// Drives the real installer from outside: a copy of VellumoraInstaller.exe in a temp
// folder with its settings file beside it, started with CreateProcessW, its windows found
// by class and process, its controls clicked where their layouts put them.
namespace InstallerGui {

inline constexpr DWORD kWindowWaitMs = 15000;

std::string Utf8(const std::wstring& text);
// A text argument of a child script (backslashes doubled).
std::string ScriptText(const std::wstring& text);

// Where a control of a layout lies in its window's client area, computed by building the
// layout in this process (page: the "mainTabLt" page to show first, or -1).
RECT LayoutRect(const std::wstring& skinFile, const std::wstring& control, int page = -1);

// The first visible top-level window of process pid with that class, within the time.
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, DWORD timeoutMs = kWindowWaitMs);
bool HasVisibleWindow(DWORD pid);

void Click(HWND window, const std::wstring& skinFile, const std::wstring& control, int page = -1);
// Types text as Unicode key presses into whatever has the keyboard focus.
void TypeText(const std::wstring& text);
// Replaces the text of the window's native edit by typing, once its page shows; false when
// the text did not arrive.
bool TypeIntoEdit(
    HWND window, const std::wstring& skinFile, const std::wstring& control, int page, const std::wstring& text);
std::wstring EditText(HWND window);

std::wstring Shot(HWND window, const std::wstring& name);

// Polls condition (cheap checks: files, registry) until true or the time is up.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs);

std::wstring ReadProductValue(const wchar_t* name);
void DeleteProductKey();
void RemoveTree(const std::wstring& path);

// The scripted child padded past the single-stream downloader's 1 MiB floor.
std::shared_ptr<const std::string> PackageBody();

// One installer process and what it needs.
class InstallerProcess {
public:
    InstallerProcess() = default;
    ~InstallerProcess();
    InstallerProcess(const InstallerProcess&) = delete;
    InstallerProcess& operator=(const InstallerProcess&) = delete;

    bool Start(const std::wstring& exePath, const std::wstring& arguments = L"");
    DWORD Pid() const noexcept { return m_pid; }
    HANDLE Handle() const noexcept { return m_process.get(); }
    // Exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitExit(DWORD timeoutMs);
    // Ends it whatever it is doing.
    void Kill();

private:
    Utils::UniqueHandle m_process;
    DWORD m_pid = 0;
};

} // namespace InstallerGui
