#include "Shortcut.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "utils/UniqueResource.h"

namespace Demo {
namespace {

template <typename Interface> struct ComTraits {
    using Type = Interface*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type p) noexcept { p->Release(); }
};

template <typename Interface> using ComPtr = Utils::UniqueResource<ComTraits<Interface>>;

std::wstring FolderPath(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return path;
}

} // namespace

ComScope::ComScope()
    : m_result(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))
{
}

ComScope::~ComScope()
{
    if (SUCCEEDED(m_result)) {
        ::CoUninitialize();
    }
}

HRESULT CreateShortcut(const std::wstring& linkPath, const std::wstring& target, const std::wstring& description)
{
    ComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(
        CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(link.put()));
    if (FAILED(hr)) {
        return hr;
    }
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\'));
    if (FAILED(hr = link.get()->SetPath(target.c_str())) || FAILED(hr = link.get()->SetWorkingDirectory(folder.c_str()))
        || FAILED(hr = link.get()->SetDescription(description.c_str()))) {
        return hr;
    }
    ComPtr<IPersistFile> file;
    if (FAILED(hr = link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))) {
        return hr;
    }
    return file.get()->Save(linkPath.c_str(), TRUE);
}

std::wstring ShortcutTarget(const std::wstring& linkPath)
{
    ComPtr<IShellLinkW> link;
    ComPtr<IPersistFile> file;
    if (FAILED(::CoCreateInstance(
            CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(link.put())))
        || FAILED(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.put())))
        || FAILED(file.get()->Load(linkPath.c_str(), STGM_READ))) {
        return {};
    }
    wchar_t target[MAX_PATH] = {};
    if (FAILED(link.get()->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH))) {
        return {};
    }
    return target;
}

std::wstring DesktopFolder()
{
    return FolderPath(CSIDL_DESKTOPDIRECTORY);
}

std::wstring QuickLaunchFolder()
{
    const std::wstring appData = FolderPath(CSIDL_APPDATA);
    return appData.empty() ? std::wstring() : appData + L"\\Microsoft\\Internet Explorer\\Quick Launch";
}

} // namespace Demo
