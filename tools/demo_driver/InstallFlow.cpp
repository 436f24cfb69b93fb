#include "InstallFlow.h"

#include <cstring>
#include <string>

#include "DriverActions.h"
#include "utils/UniqueResource.h"

namespace DemoDriver {
namespace {

constexpr wchar_t kMainLayout[] = L"MainWnd.xml";
constexpr int kFinishedPage = 3;

// Prompts that mean the install went wrong.
constexpr const wchar_t* kFailurePrompts[] = { L"MessageBox1Wnd", L"MessageBox2Wnd", L"NetworkTipWnd" };
// The pipeline's log lines for the package's success and for the failures that end a run.
constexpr char kSuccessLine[] = "INSTALL_SUCCESS";
constexpr const char* kFailureLines[] = { "IST_CODE_FAIL", "UNIST_CODE_FAIL", "UNIST_CODE_ERROR", "DL_CODE_FAIL" };

class Flow {
public:
    Flow(const FlowOptions& options, const std::function<void(const std::wstring&)>& progress)
        : m_options(options)
        , m_progress(progress)
    {
    }

    FlowResult Run()
    {
        HWND main = WaitForWindow(L"MainWnd", m_options.windowTimeoutMs);
        if (!main) {
            return Fail(L"no installer window appeared");
        }
        Say(L"the installer's window is up");
        const ULONGLONG before = ProductKeyStamp();

        switch (m_options.startBy) {
        case StartBy::DefaultInstallButton:
            Shot(main, L"1-start");
            if (!Click(main, kMainLayout, L"defaultInstallBtn", 0)) {
                return Fail(L"defaultInstallBtn is not in the layout");
            }
            Say(L"clicked defaultInstallBtn (one-click install)");
            break;
        case StartBy::ExistingInstallationOk: {
            HWND tip = WaitForWindow(L"InstalledPathTipWnd", m_options.windowTimeoutMs);
            if (!tip) {
                return Fail(L"the existing-installation prompt did not appear");
            }
            Shot(tip, L"1-existing-installation");
            if (!Click(tip, L"InstalledPathTipWnd.xml", L"okBtn")) {
                return Fail(L"okBtn is not in the prompt's layout");
            }
            if (!WaitGone(tip, 5000)) {
                return Fail(L"the existing-installation prompt stayed after okBtn");
            }
            Say(L"clicked okBtn on the existing-installation prompt (install over it)");
            break;
        }
        case StartBy::Itself:
            Say(L"nothing to click: the installer starts by itself");
            break;
        }

        ::Sleep(600);
        Shot(main, L"2-installing");
        const ULONGLONG deadline = ::GetTickCount64() + m_options.finishTimeoutMs;
        for (;;) {
            const std::string log = ReadLog();
            if (Finished(log, before)) {
                break;
            }
            for (const char* failure : kFailureLines) {
                if (log.find(failure) != std::string::npos) {
                    ::Sleep(500);
                    Shot(main, L"error");
                    return Fail(L"the installer's log says " + Wide(failure));
                }
            }
            for (const wchar_t* prompt : kFailurePrompts) {
                if (HWND box = ::FindWindowW(prompt, nullptr); box && ::IsWindowVisible(box)) {
                    ::Sleep(200);
                    Shot(box, L"error-prompt");
                    return Fail(std::wstring(L"the installer showed ") + prompt + L" instead of finishing");
                }
            }
            if (!::IsWindow(main)) {
                return Fail(L"the installer's window went away before the installation finished");
            }
            if (::GetTickCount64() >= deadline) {
                Shot(main, L"error-timeout");
                return Fail(
                    L"no finished installation within " + std::to_wstring(m_options.finishTimeoutMs / 1000) + L" s");
            }
            ::Sleep(100);
        }
        Say(L"the installation has finished");
        ::Sleep(700); // the window shows the finished page and its first frames
        Shot(main, L"3-finished");

        // The close button shows once the finished page is up; a click that came too early
        // is repeated.
        for (int attempt = 0;; ++attempt) {
            if (!Click(main, kMainLayout, L"closebtn", kFinishedPage)) {
                return Fail(L"closebtn is not in the layout");
            }
            if (WaitGone(main, 4000)) {
                break;
            }
            if (attempt == 2) {
                return Fail(L"the finished page's close button did not close the installer");
            }
        }
        Say(L"clicked closebtn on the finished page; the window is closed");
        return FlowResult { true, {} };
    }

private:
    void Say(const std::wstring& line)
    {
        if (m_progress) {
            m_progress(line);
        }
    }

    void Shot(HWND window, const std::wstring& page)
    {
        if (m_options.shotsFolder.empty()) {
            return;
        }
        const std::wstring path = m_options.shotsFolder + L"\\" + m_options.shotPrefix + L"-" + page + L".png";
        Say(SaveShot(window, path) ? L"screenshot " + path : L"could not save the screenshot " + path);
    }

    std::string ReadLog() const
    {
        if (m_options.logFile.empty()) {
            return {};
        }
        Utils::UniqueFileHandle file(::CreateFileW(m_options.logFile.c_str(), GENERIC_READ,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
            nullptr));
        std::string text;
        char buffer[16384];
        DWORD got = 0;
        while (file && ::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
            text.append(buffer, got);
        }
        return text;
    }

    bool Finished(const std::string& log, ULONGLONG keyStampBefore) const
    {
        if (!m_options.logFile.empty()) {
            return log.find(kSuccessLine) != std::string::npos;
        }
        return ProductKeyStamp() > keyStampBefore;
    }

    static std::wstring Wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

    FlowResult Fail(const std::wstring& why)
    {
        Say(L"FAILED: " + why);
        return FlowResult { false, why };
    }

    const FlowOptions& m_options;
    const std::function<void(const std::wstring&)>& m_progress;
};

} // namespace

FlowResult DriveInstall(const FlowOptions& options, const std::function<void(const std::wstring&)>& progress)
{
    return Flow(options, progress).Run();
}

} // namespace DemoDriver
