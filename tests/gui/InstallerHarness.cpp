#include "InstallerHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "GuiDriver.h"
#include "support/ProcessRunner.h"
#include "toolkit/Handles.h"
#include "toolkit/TabLayout.h"
#include "utils/Registry.h"

namespace InstallerGui {

std::string Utf8(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::string ScriptText(const std::wstring& text)
{
    std::string out;
    for (char c : Utf8(text)) {
        out += c;
        if (c == '\\') {
            out += '\\';
        }
    }
    return out;
}

namespace {

// A hidden window of the layout, to read where its controls are.
class LayoutProbe : public CDuiFrame {
public:
    explicit LayoutProbe(const std::wstring& skinFile)
        : CDuiFrame(FrameParams::ForSkinFile(skinFile))
    {
    }
    void InitWindow() override { }
};

} // namespace

RECT LayoutRect(const std::wstring& skinFile, const std::wstring& control, int page)
{
    LayoutProbe probe(skinFile);
    if (!probe.Create(nullptr, L"", WS_POPUP, WS_EX_TOOLWINDOW)) {
        ADD_FAILURE() << "layout " << Utf8(skinFile) << " not built";
        return {};
    }
    if (page >= 0) {
        if (auto* tabs = probe.FindControlAs<Toolkit::CTabLayoutUI>(L"mainTabLt", L"TabLayout")) {
            tabs->SelectItem(page);
        }
    }
    probe.GetPaintManager().UpdateLayout();
    Toolkit::CControlUI* found = probe.FindControl(control);
    if (!found) {
        ADD_FAILURE() << "no control " << Utf8(control) << " in " << Utf8(skinFile);
        return {};
    }
    return found->GetPos();
}

namespace {

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd)) {
        return TRUE;
    }
    wchar_t name[128] = {};
    ::GetClassNameW(hwnd, name, 128);
    if (!search->className || _wcsicmp(name, search->className) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectVisibleChild(HWND child, LPARAM lParam)
{
    RECT r;
    if (::IsWindowVisible(child) && ::GetWindowRect(child, &r)) {
        reinterpret_cast<std::vector<RECT>*>(lParam)->push_back(r);
    }
    return TRUE;
}

// Whether the window and its visible native children have painted. Wine shows a window
// black until its first paint and paints native children after their parent, and neither
// skin draws black areas: a line across any of them that is mostly pure black has not been
// painted yet.
bool Painted(HWND window)
{
    RECT shown;
    const RECT screen { 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN) };
    if (!::GetWindowRect(window, &shown) || !::IntersectRect(&shown, &shown, &screen)) {
        return false;
    }
    std::vector<RECT> areas { shown };
    ::EnumChildWindows(window, CollectVisibleChild, reinterpret_cast<LPARAM>(&areas));

    const int width = shown.right - shown.left;
    const int height = shown.bottom - shown.top;
    BITMAPINFO info {};
    info.bmiHeader = { sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB };
    void* bits = nullptr;
    Toolkit::WindowDc screenDc(nullptr);
    Toolkit::UniqueMemoryDc dc(::CreateCompatibleDC(screenDc.get()));
    Toolkit::UniqueBitmap bitmap(::CreateDIBSection(dc.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) {
        return false;
    }
    Toolkit::SelectedObject selected(dc.get(), bitmap.get());
    ::BitBlt(dc.get(), 0, 0, width, height, screenDc.get(), shown.left, shown.top, SRCCOPY);
    const auto* pixels = static_cast<const DWORD*>(bits);
    return std::none_of(areas.begin(), areas.end(), [&](RECT area) {
        if (!::IntersectRect(&area, &area, &shown)) {
            return false;
        }
        const int y = (area.top + area.bottom) / 2 - shown.top;
        int black = 0;
        for (int x = area.left - shown.left; x < area.right - shown.left; ++x) {
            black += (pixels[y * width + x] & 0xFFFFFF) == 0 ? 1 : 0;
        }
        return black * 2 > area.right - area.left;
    });
}

} // namespace

HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        WindowSearch search { pid, className, nullptr };
        ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            // Let it paint its first frame, native children included, before anyone looks at it.
            WaitFor([&] { return Painted(search.found); }, 3000);
            ::Sleep(150);
            return search.found;
        }
        ::Sleep(30);
    } while (::GetTickCount() - start < timeoutMs);
    return nullptr;
}

bool HasVisibleWindow(DWORD pid)
{
    WindowSearch search { pid, nullptr, nullptr };
    ::EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.found != nullptr;
}

void Click(HWND window, const std::wstring& skinFile, const std::wstring& control, int page)
{
    const RECT r = LayoutRect(skinFile, control, page);
    RECT w;
    ::GetWindowRect(window, &w);
    GuiDriver::ClickLeft(POINT { w.left + (r.left + r.right) / 2, w.top + (r.top + r.bottom) / 2 });
}

std::wstring EditText(HWND window)
{
    HWND edit = ::FindWindowExW(window, nullptr, L"Edit", nullptr);
    if (!edit) {
        return {};
    }
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(edit, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 3000, &ignored);
    return text;
}

void TypeText(const std::wstring& text)
{
    std::vector<INPUT> inputs;
    for (wchar_t c : text) {
        INPUT down {};
        down.type = INPUT_KEYBOARD;
        down.ki.wScan = c;
        down.ki.dwFlags = KEYEVENTF_UNICODE;
        INPUT up = down;
        up.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(down);
        inputs.push_back(up);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

bool TypeIntoEdit(
    HWND window, const std::wstring& skinFile, const std::wstring& control, int page, const std::wstring& text)
{
    // The edit shows with its page; a click before that would land on the page before it.
    WaitFor(
        [&] {
            HWND edit = ::FindWindowExW(window, nullptr, L"Edit", nullptr);
            return edit && ::IsWindowVisible(edit);
        },
        5000);
    Click(window, skinFile, control, page);
    ::Sleep(100);
    GuiDriver::PressKeys({ VK_END });
    GuiDriver::PressKeys({ VK_SHIFT, VK_HOME });
    GuiDriver::PressKeys({ VK_DELETE });
    TypeText(text);
    return WaitFor([&] { return EditText(window) == text; }, 5000);
}

std::wstring Shot(HWND window, const std::wstring& name)
{
    return GuiDriver::SaveScreenshot(GuiDriver::WindowShotArea(window), name);
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start >= timeoutMs) {
            return false;
        }
        ::Sleep(30);
    }
    return true;
}

std::wstring ReadProductValue(const wchar_t* name)
{
    DWORD type = 0;
    std::wstring text;
    Utils::ReadRegistryString(Utils::RecordRoot::User, name, type, text);
    return text;
}

void DeleteProductKey()
{
    ::RegDeleteTreeW(HKEY_CURRENT_USER, Utils::kProductRegistryKey);
}

void RemoveTree(const std::wstring& path)
{
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(path), ignored);
}

std::shared_ptr<const std::string> PackageBody()
{
    std::string bytes = TestSupport::ReadFileBytes(TestSupport::BinDirectory() + L"\\vlm_scripted_child.exe");
    if (bytes.size() < 1536 * 1024) {
        bytes.resize(1536 * 1024, '\0');
    }
    return std::make_shared<const std::string>(std::move(bytes));
}

InstallerProcess::~InstallerProcess()
{
    Kill();
}

bool InstallerProcess::Start(const std::wstring& exePath, const std::wstring& arguments)
{
    std::wstring commandLine = TestSupport::QuoteArgument(exePath);
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    const std::wstring folder = exePath.substr(0, exePath.find_last_of(L'\\'));
    STARTUPINFOW startup { sizeof(startup) };
    PROCESS_INFORMATION info {};
    if (!::CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
            &startup, &info)) {
        ADD_FAILURE() << "CreateProcessW failed: " << ::GetLastError();
        return false;
    }
    Utils::UniqueHandle thread(info.hThread);
    m_process.reset(info.hProcess);
    m_pid = info.dwProcessId;
    return true;
}

DWORD InstallerProcess::WaitExit(DWORD timeoutMs)
{
    if (!m_process || ::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.get(), &code);
    return code;
}

void InstallerProcess::Kill()
{
    if (m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_process.get(), 1);
        ::WaitForSingleObject(m_process.get(), 5000);
    }
}

} // namespace InstallerGui
