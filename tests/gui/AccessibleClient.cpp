#include "AccessibleClient.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace InstallerGui {

// Ends the watched process when the scope lasts longer than its limit.
class AccessibleClient::Watch {
public:
    explicit Watch(HANDLE process, DWORD limitMs = 8000)
        : m_thread([this, process, limitMs] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, std::chrono::milliseconds(limitMs), [this] { return m_finished; })) {
                ::TerminateProcess(process, 3);
            }
        })
    {
    }
    ~Watch()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
    }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};

namespace {

VARIANT Child(long id)
{
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = id;
    return v;
}

std::wstring Take(BSTR text)
{
    std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return result;
}

} // namespace

AccessibleClient::AccessibleClient(HWND window, HANDLE process)
    : m_com(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))
    , m_process(process)
{
    Watch watch(m_process);
    if (FAILED(::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
            reinterpret_cast<void**>(&m_accessible)))) {
        m_accessible = nullptr;
    }
}

AccessibleClient::~AccessibleClient()
{
    if (m_accessible) {
        m_accessible->Release();
    }
    if (SUCCEEDED(m_com)) {
        ::CoUninitialize();
    }
}

std::vector<AccChild> AccessibleClient::Children()
{
    std::vector<AccChild> children;
    if (!m_accessible) {
        return children;
    }
    Watch watch(m_process);
    long count = 0;
    if (FAILED(m_accessible->get_accChildCount(&count))) {
        return children;
    }
    for (long id = 1; id <= count; ++id) {
        AccChild child;
        child.id = id;
        const VARIANT self = Child(id);
        BSTR text = nullptr;
        if (m_accessible->get_accName(self, &text) == S_OK) {
            child.name = Take(text);
        }
        text = nullptr;
        if (m_accessible->get_accValue(self, &text) == S_OK) {
            child.value = Take(text);
        }
        VARIANT out;
        ::VariantInit(&out);
        if (SUCCEEDED(m_accessible->get_accRole(self, &out)) && out.vt == VT_I4) {
            child.role = out.lVal;
        }
        ::VariantInit(&out);
        if (SUCCEEDED(m_accessible->get_accState(self, &out)) && out.vt == VT_I4) {
            child.state = out.lVal;
        }
        long x = 0, y = 0, w = 0, h = 0;
        if (SUCCEEDED(m_accessible->accLocation(&x, &y, &w, &h, self))) {
            child.screen = RECT { x, y, x + w, y + h };
        }
        children.push_back(child);
    }
    return children;
}

std::wstring AccessibleClient::Value(long id)
{
    if (!m_accessible) {
        return {};
    }
    Watch watch(m_process);
    BSTR text = nullptr;
    return m_accessible->get_accValue(Child(id), &text) == S_OK ? Take(text) : std::wstring();
}

AccChild AccessibleClient::Find(const std::wstring& name)
{
    AccChild hidden;
    for (const AccChild& child : Children()) {
        if (child.name == name) {
            if (child.Visible()) {
                return child;
            }
            if (hidden.id == 0) {
                hidden = child;
            }
        }
    }
    return hidden;
}

long AccessibleClient::FocusId()
{
    if (!m_accessible) {
        return -1;
    }
    Watch watch(m_process);
    VARIANT focus;
    ::VariantInit(&focus);
    if (m_accessible->get_accFocus(&focus) != S_OK || focus.vt != VT_I4) {
        ::VariantClear(&focus);
        return -1;
    }
    return focus.lVal;
}

HRESULT AccessibleClient::DoDefaultAction(long id)
{
    if (!m_accessible) {
        return E_FAIL;
    }
    Watch watch(m_process);
    return m_accessible->accDoDefaultAction(Child(id));
}

bool WaitForFocus(AccessibleClient& client, const std::wstring& name, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    do {
        const long id = client.FocusId();
        if (id > 0) {
            for (const AccChild& child : client.Children()) {
                if (child.id == id && child.name == name) {
                    return true;
                }
            }
        }
        ::Sleep(30);
    } while (::GetTickCount() - start < timeoutMs);
    return false;
}

} // namespace InstallerGui
