#include "ui/CMainWnd.h"

#include "ui/CMessageBoxWnd.h"
#include "utils/Log.h"

namespace {

constexpr int kAppIconId = 145;

} // namespace

CMainWnd::CMainWnd(Session::SessionRun& run)
    : CDuiFrame(FrameParams::ForSkinFile(L"MainWnd.xml"))
    , m_run(run)
    , m_session(run.Install())
    , m_pages(*this)
    , m_install(*this, m_pages, run)
    , m_face(*this, m_pages, m_install, m_session)
{
}

void CMainWnd::Run(Session::SessionRun&)
{
    if (!Create(nullptr, L"Vellumora", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0)) {
        LOG(L"main window not created: %s\r\n", GetLoadError().c_str());
        return;
    }
    CenterWindow();
    ShowModal();
}

CMainWnd::~CMainWnd()
{
    // The window normally went first (WM_DESTROY let the run go on without it); this covers
    // an object destroyed with its window still open.
    if (m_hwnd && ::IsWindow(m_hwnd)) {
        ::DestroyWindow(m_hwnd);
    }
    m_run.Attach(nullptr);
}

void CMainWnd::InitWindow()
{
    CDuiFrame::InitWindow();
    ApplySkinnedStyle();
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    // Shared icons belong to the system; nothing to free.
    if (HANDLE big = ::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
            ::GetSystemMetrics(SM_CYICON), LR_SHARED)) {
        ::SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    }
    if (HANDLE small = ::LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
            ::GetSystemMetrics(SM_CYSMICON), LR_SHARED)) {
        ::SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }

    m_pages.Init(m_session.InitialLanguage());
    m_run.Attach(&m_face);
    m_pages.SetFolder(m_install.DefaultInstallDir());
    m_pages.OnTabSelect(m_pages.CurrentPage());
    CenterWindow();
    if (m_install.HasExistingInstallation()) {
        // Asked once the window is up, so the prompt has a visible, centred owner.
        ::PostMessageW(m_hwnd, WM_EXISTING_INSTALLATION, 0, 0);
    }
}

void CMainWnd::Notify(Toolkit::TNotifyUI& msg)
{
    if (msg.type == L"selectchanged") {
        m_pages.OnSelectChanged(msg);
    } else if (msg.type == L"tabselect") {
        m_pages.OnTabSelect(static_cast<int>(msg.wParam));
    } else if (msg.type == L"checknet") {
        m_install.OnCheckNet(msg.wParam);
    } else if (msg.type == L"install") {
        m_install.OnInstall(msg.wParam);
    } else if (msg.type == L"timer") {
        if (msg.sender && msg.sender == m_pm.GetRoot()) {
            m_face.OnWindowTimer(static_cast<UINT>(msg.wParam));
        }
    } else if (msg.type == L"itemselect") {
        if (m_pages.IsLanguageList(msg.sender)) {
            m_pages.ApplySelectedLanguage();
        }
    }
    CDuiFrame::Notify(msg);
}

void CMainWnd::OnClick(Toolkit::TNotifyUI& msg)
{
    using Action = MainWndPages::Action;
    switch (m_pages.ActionOf(msg.sender)) {
    case Action::DefaultInstall:
        if (m_pages.TermsAccepted()) {
            m_install.StartInstall(m_install.DefaultInstallDir(), true, true);
        } else {
            m_pages.ShowTermsTip();
        }
        break;
    case Action::Customise:
        m_pages.SelectPage(kCustomPage);
        break;
    case Action::Terms:
        m_session.OpenTerms(); // a page, nothing of the run's
        break;
    case Action::Back:
        m_pages.SelectPage(kStartPage);
        break;
    case Action::ChooseFolder:
        m_install.ChooseFolder();
        break;
    case Action::CustomInstall:
        m_install.StartInstall(m_install.CustomInstallDir(), m_pages.DesktopShortcut(), m_pages.QuickLaunch());
        break;
    case Action::OpenProduct:
        m_run.Post({ Session::Intent::Kind::Finish });
        Close(1);
        break;
    case Action::Close:
        if (m_pages.CurrentPage() == kFinishedPage
            || ShowMessageBox(m_hwnd, FrameParams::ForSkinFile(L"ExitTipWnd.xml")) == 0) {
            Close(1);
        }
        break;
    case Action::None:
        CDuiFrame::OnClick(msg);
        break;
    }
}

LRESULT CMainWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE && m_session.Running()) {
        return 0; // the install cannot be abandoned half-way
    }
    if (message == WM_QUERYENDSESSION || message == WM_ENDSESSION) {
        return m_run.OnSystemSessionMessage(message, wParam, lParam);
    }
    if (message == WM_DESTROY) {
        // The face goes; what runs goes on, seen by nobody.
        m_install.StopNetworkCheck();
        m_run.Attach(nullptr);
    }
    return CDuiFrame::HandleMessage(message, wParam, lParam);
}

LRESULT CMainWnd::HandleCustomMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled)
{
    handled = false;
    if (message == WM_EXISTING_INSTALLATION) {
        m_install.RunExistingInstallationPrompt();
        handled = true;
        return 0;
    }
    if (message == WM_FACE_LATER) {
        m_face.ShowWaitingPrompts();
        handled = true;
        return 0;
    }
    return CDuiFrame::HandleCustomMessage(message, wParam, lParam, handled);
}
