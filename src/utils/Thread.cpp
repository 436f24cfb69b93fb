#include "utils/Thread.h"

#include <process.h>

#include <mutex>

#include "utils/Log.h"
#include "utils/Text.h"

namespace Utils {
namespace {

constexpr DWORD kThreadNameException = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo {
    DWORD type; // 0x1000
    LPCSTR name; // ANSI text
    DWORD threadId; // the thread to name
    DWORD flags; // reserved, 0
};
#pragma pack(pop)

// GCC has no __try/__except: a first vectored handler swallows the naming exception when
// no debugger has taken it, so it never reaches the unhandled-exception path.
LONG CALLBACK SwallowThreadNameException(EXCEPTION_POINTERS* info)
{
    if (info->ExceptionRecord->ExceptionCode == kThreadNameException) {
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

void EnsureNamingHandler()
{
    static std::once_flag once;
    std::call_once(once, [] { ::AddVectoredExceptionHandler(1, SwallowThreadNameException); });
}

void SetDescription(HANDLE thread, const std::wstring& name)
{
    using SetThreadDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto set = reinterpret_cast<SetThreadDescriptionFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "SetThreadDescription")));
    if (set) {
        set(thread, name.c_str());
    }
}

} // namespace

void SetThreadNameForDebugger(HANDLE thread, DWORD threadId, const std::wstring& name)
{
    const std::wstring shown = name.empty() ? L"t" + std::to_wstring(threadId) : name;
    const std::string ansi = WideToMultiByte(shown, CP_ACP);
    SetDescription(thread, shown);

    EnsureNamingHandler();
    ThreadNameInfo info { 0x1000, ansi.c_str(), threadId, 0 };
    ::RaiseException(
        kThreadNameException, 0, sizeof(info) / sizeof(ULONG_PTR), reinterpret_cast<const ULONG_PTR*>(&info));
}

Thread::Thread(void* argument, std::wstring name, Job job)
    : m_job(std::move(job))
    , m_argument(argument)
    , m_name(std::move(name))
{
    unsigned id = 0;
    const uintptr_t raw = ::_beginthreadex(nullptr, 0, &Thread::CallBack, this, CREATE_SUSPENDED, &id);
    m_handle.reset(reinterpret_cast<HANDLE>(raw));
    if (m_handle) {
        m_id = id;
        SetThreadNameForDebugger(m_handle.get(), m_id, m_name);
    }
}

Thread::~Thread()
{
    Join();
    m_name.clear();
    m_job = nullptr;
}

bool Thread::Resume()
{
    return m_handle && ::ResumeThread(m_handle.get()) != static_cast<DWORD>(-1);
}

void Thread::Join()
{
    if (!m_handle) {
        return;
    }
    ::WaitForSingleObject(m_handle.get(), INFINITE);
    m_handle.reset();
    m_id = static_cast<DWORD>(-1);
}

unsigned __stdcall Thread::CallBack(void* self)
{
    auto* thread = static_cast<Thread*>(self);
    LOG(L"THREAD BEGIN\r\n");
    thread->m_job(thread->m_argument);
    LOG(L"THREAD END\r\n");
    return 0;
}

void StartOwnedThread(std::unique_ptr<Thread>& slot, void* argument, std::wstring name, Thread::Job job)
{
    if (slot) {
        slot->Join();
        slot.reset();
    }
    slot = std::make_unique<Thread>(argument, std::move(name), std::move(job));
    slot->Resume();
}

} // namespace Utils
