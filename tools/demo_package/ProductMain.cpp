// Quorvel.exe, the demo product: a window that shows its version. Each start appends
// "Quorvel <version> started: <command line>" to launched.log beside the program, so a
// test can tell that and how it was started. WM_CLOSE ends it with exit code 0.
#include <windows.h>

#include <string>

#include "DemoVersion.h"
#include "utils/FileSystem.h"
#include "utils/Text.h"
#include "utils/UniqueResource.h"

namespace {

constexpr wchar_t kWindowClass[] = L"VellumoraQuorvelWindow";

void RecordLaunch()
{
    const std::wstring path = Utils::ModuleDirectory() + L"\\launched.log";
    Utils::UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return; // a read-only install folder must not stop the product
    }
    const std::wstring line
        = std::wstring(L"Quorvel ") + Demo::kVersion + L" started: " + ::GetCommandLineW() + L"\r\n";
    const std::string bytes = Utils::WideToMultiByte(line, CP_UTF8);
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Paint(HWND window)
{
    PAINTSTRUCT paint {};
    HDC dc = ::BeginPaint(window, &paint);
    Utils::ScopeExit endPaint([window, &paint] { ::EndPaint(window, &paint); });
    RECT client {};
    ::GetClientRect(window, &client);
    const HGDIOBJ previous = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
    ::SetBkMode(dc, TRANSPARENT);
    std::wstring text = std::wstring(L"Vellumora 演示产品\r\nQuorvel 版本 ") + Demo::kVersion;
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &client, DT_CENTER | DT_VCENTER | DT_WORDBREAK);
    ::SelectObject(dc, previous);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    RecordLaunch();

    WNDCLASSEXW windowClass {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass)) {
        return 1;
    }
    const std::wstring title = std::wstring(L"Quorvel ") + Demo::kVersion;
    HWND window = ::CreateWindowExW(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
        420, 220, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    ::ShowWindow(window, show);
    ::UpdateWindow(window);

    MSG message {};
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
