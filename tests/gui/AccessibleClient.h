#pragma once

#include <windows.h>

#include <oleacc.h>

#include <string>
#include <vector>

// A screen reader's view of another process's window: its IAccessible (OBJID_CLIENT) and
// the simple children under it. Every call is watched: an installer that stops answering
// is ended after a few seconds, so a call fails instead of hanging the test.
namespace InstallerGui {

struct AccChild {
    long id = 0;
    std::wstring name;
    long role = 0;
    long state = 0;
    RECT screen {};
    std::wstring value;
    bool Visible() const { return (state & STATE_SYSTEM_INVISIBLE) == 0; }
};

class AccessibleClient {
public:
    // process: ended when a call does not return in time.
    AccessibleClient(HWND window, HANDLE process);
    ~AccessibleClient();
    AccessibleClient(const AccessibleClient&) = delete;
    AccessibleClient& operator=(const AccessibleClient&) = delete;

    bool Connected() const noexcept { return m_accessible != nullptr; }
    std::vector<AccChild> Children();
    // The first child with that name, visible ones first; id 0 when there is none.
    AccChild Find(const std::wstring& name);
    // One child's value alone (one call, for polling); empty when it has none.
    std::wstring Value(long id);
    // The focused child's id, 0 for the window itself, -1 when the window lacks the focus.
    long FocusId();
    HRESULT DoDefaultAction(long id);

private:
    class Watch;

    HRESULT m_com;
    IAccessible* m_accessible = nullptr;
    HANDLE m_process;
};

// Waits (bounded) until the window's focused child has that name; false on time-out.
bool WaitForFocus(AccessibleClient& client, const std::wstring& name, DWORD timeoutMs = 3000);

} // namespace InstallerGui
