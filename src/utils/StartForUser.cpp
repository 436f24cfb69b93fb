#include "utils/StartForUser.h"

#include <exdisp.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

#include <cwchar>
#include <utility>

#include "utils/DesktopShellClass.h"
#include "utils/Log.h"
#include "utils/Redact.h"
#include "utils/UniqueResource.h"

namespace Utils {
namespace {

// Owns one COM reference.
template <typename T> class ComRef {
public:
    ComRef() = default;
    ~ComRef()
    {
        if (m_p) {
            m_p->Release();
        }
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    T** put() noexcept { return &m_p; }
    void** putVoid() noexcept { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// A BSTR, or a VARIANT holding one, freed at the end of its scope.
class BstrVariant {
public:
    explicit BstrVariant(const std::wstring& text)
    {
        ::VariantInit(&m_value);
        m_value.vt = VT_BSTR;
        m_value.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~BstrVariant() { ::VariantClear(&m_value); }
    BstrVariant(const BstrVariant&) = delete;
    BstrVariant& operator=(const BstrVariant&) = delete;
    const VARIANT& value() const noexcept { return m_value; }
    BSTR bstr() const noexcept { return m_value.bstrVal; }

private:
    VARIANT m_value;
};

// COM on this thread for the call, unless the thread already has it in either model.
class ComScope {
public:
    ComScope()
        : m_ok(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
    {
    }
    ~ComScope()
    {
        if (m_ok) {
            ::CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_ok;
};

struct ShellFound {
    HRESULT result = E_FAIL;
    bool noShell = false;
};

// The desktop's folder view asks the shell's own process to start the file: the program is
// that process's child and gets its (the user's) rights.
ShellFound ExecuteThroughDesktop(const std::wstring& file, const std::wstring& params, const std::wstring& directory)
{
    ShellFound found;
    ComScope com;
    ComRef<IShellWindows> windows;
    found.result = ::CoCreateInstance(DesktopShellClass(), nullptr, CLSCTX_ALL, IID_IShellWindows, windows.putVoid());
    if (FAILED(found.result)) {
        found.noShell = true;
        return found;
    }
    VARIANT location {};
    VARIANT root {};
    ::VariantInit(&location);
    ::VariantInit(&root);
    long hwnd = 0;
    ComRef<IDispatch> desktop;
    found.result = windows->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.put());
    if (found.result != S_OK || !desktop.get()) {
        // S_FALSE: the session has no desktop window registered, so no shell to ask.
        found.noShell = true;
        found.result = found.result == S_OK ? E_NOINTERFACE : found.result;
        return found;
    }
    ComRef<IServiceProvider> provider;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderView;
    ComRef<IDispatch> application;
    ComRef<IShellDispatch2> shell;
    if (FAILED(found.result = desktop->QueryInterface(IID_IServiceProvider, provider.putVoid()))
        || FAILED(found.result = provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.putVoid()))
        || FAILED(found.result = browser->QueryActiveShellView(view.put()))
        || FAILED(found.result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.putVoid()))
        || FAILED(found.result = background->QueryInterface(IID_IShellFolderViewDual, folderView.putVoid()))
        || FAILED(found.result = folderView->get_Application(application.put()))
        || FAILED(found.result = application->QueryInterface(IID_IShellDispatch2, shell.putVoid()))) {
        found.noShell = true;
        return found;
    }
    const BstrVariant fileText(file);
    const BstrVariant paramsText(params);
    const BstrVariant directoryText(directory);
    const BstrVariant operation(L"open");
    VARIANT show {};
    ::VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    found.result
        = shell->ShellExecute(fileText.bstr(), paramsText.value(), directoryText.value(), operation.value(), show);
    return found;
}

bool TokenIs(WELL_KNOWN_SID_TYPE type)
{
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD size = sizeof(sid);
    BOOL member = FALSE;
    return ::CreateWellKnownSid(type, nullptr, sid, &size) && ::CheckTokenMembership(nullptr, sid, &member) && member;
}

bool RunsAsSystemAccount()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return false;
    }
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) {
        return false;
    }
    return ::IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid) != FALSE;
}

bool IsElevated()
{
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return TokenIs(WinBuiltinAdministratorsSid);
    }
    TOKEN_ELEVATION elevation {};
    DWORD size = 0;
    if (!::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &size)) {
        // Before Vista: an administrator's token is all it has.
        return TokenIs(WinBuiltinAdministratorsSid);
    }
    return elevation.TokenIsElevated != 0;
}

} // namespace

UserStartRoute RouteForThisProcess()
{
    if (RunsAsSystemAccount()) {
        return UserStartRoute::None;
    }
    return IsElevated() ? UserStartRoute::DesktopShell : UserStartRoute::Plain;
}

std::wstring UserStartResult::Describe() const
{
    wchar_t code[16] = {};
    std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(error));
    switch (status) {
    case Status::Started:
        return route == UserStartRoute::DesktopShell ? L"started through the desktop shell, as the user"
                                                     : L"started with this process's own (ordinary) rights";
    case Status::SystemAccount:
        return L"not started: this runs as the system account, and nothing is started for a user from it";
    case Status::NoShell:
        return std::wstring(L"not started: no desktop shell in this session to start it as the user (") + code
            + L"); an elevated installer starts nothing itself";
    case Status::Failed:
        break;
    }
    return std::wstring(L"not started: the start failed (") + code + L")";
}

namespace {

UserStartResult Start(
    UserStartRoute route, const std::wstring& file, const std::wstring& params, const std::wstring& directory)
{
    UserStartResult result;
    result.route = route;
    switch (route) {
    case UserStartRoute::None:
        result.status = UserStartResult::Status::SystemAccount;
        return result;
    case UserStartRoute::DesktopShell: {
        const ShellFound found = ExecuteThroughDesktop(file, params, directory);
        result.error = found.result;
        result.status = SUCCEEDED(found.result) ? UserStartResult::Status::Started
            : found.noShell                     ? UserStartResult::Status::NoShell
                                                : UserStartResult::Status::Failed;
        return result;
    }
    case UserStartRoute::Plain:
        break;
    }
    ComScope com;
    SHELLEXECUTEINFOW info { sizeof(info) };
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.lpParameters = params.empty() ? nullptr : params.c_str();
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info)) {
        result.status = UserStartResult::Status::Started;
    } else {
        result.error = static_cast<long>(::GetLastError());
    }
    return result;
}

} // namespace

UserStartResult StartForUserVia(
    UserStartRoute route, const std::wstring& file, const std::wstring& params, const std::wstring& directory)
{
    const UserStartResult result = Start(route, file, params, directory);
    // A web page's address may carry a token: logged without its query.
    LOG(L"'%s' for the user: %s\r\n", RedactUrl(file).c_str(), result.Describe().c_str());
    return result;
}

UserStartResult StartForUser(const std::wstring& file, const std::wstring& params, const std::wstring& directory)
{
    return StartForUserVia(RouteForThisProcess(), file, params, directory);
}

} // namespace Utils
